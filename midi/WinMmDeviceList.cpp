#include "midi/WinMmDeviceList.h"

#if JUCE_WINDOWS
    #include <windows.h>

    // After windows.h, whose types it uses.
    #include <mmsystem.h>

    #ifndef DRV_QUERYDEVICEINTERFACE
        #define DRV_QUERYDEVICEINTERFACE (DRV_RESERVED + 12)
        #define DRV_QUERYDEVICEINTERFACESIZE (DRV_RESERVED + 13)
    #endif
#endif

namespace WinMmDeviceList
{
juce::StringArray juceIdentifiersOf (const std::vector<Entry>& entries)
{
    juce::StringArray identifiers;

    for (const auto& entry : entries)
        identifiers.add (entry.interfaceName.isNotEmpty() ? entry.interfaceName : entry.name);

    // As JUCE does it, so that the same device gets the same identifier.
    identifiers.appendNumbersToDuplicates (false, false, juce::CharPointer_UTF8 ("-"), juce::CharPointer_UTF8 (""));
    return identifiers;
}

std::optional<unsigned int> deviceIdOf (const juce::String& identifier, const std::vector<Entry>& entries)
{
    const auto identifiers = juceIdentifiersOf (entries);
    const int index = identifiers.indexOf (identifier);

    if (identifier.isEmpty() || index < 0)
        return std::nullopt;

    return entries[(size_t) index].deviceId;
}

#if JUCE_WINDOWS
namespace
{
juce::String interfaceNameOf (unsigned int deviceId)
{
    ULONG size = 0;

    if (midiOutMessage ((HMIDIOUT) (UINT_PTR) deviceId, DRV_QUERYDEVICEINTERFACESIZE, (DWORD_PTR) &size, 0)
        != MMSYSERR_NOERROR)
        return {};

    WCHAR name[512] = {};

    if (size == 0 || size >= sizeof (name)
        || midiOutMessage ((HMIDIOUT) (UINT_PTR) deviceId, DRV_QUERYDEVICEINTERFACE, (DWORD_PTR) name, sizeof (name))
               != MMSYSERR_NOERROR)
        return {};

    return juce::String (name);
}
} // namespace

std::vector<Entry> currentOutputs()
{
    std::vector<Entry> entries;
    const auto count = midiOutGetNumDevs();

    for (UINT id = 0; id < count; ++id)
    {
        MIDIOUTCAPSW caps {};

        if (midiOutGetDevCapsW (id, &caps, sizeof (caps)) != MMSYSERR_NOERROR)
            continue;

        // JUCE asks for the interface name by its list position, not by the
        // device number; the two differ only after a device whose
        // capabilities could not be read, and the identifier must be JUCE's.
        const auto position = (unsigned int) entries.size();
        entries.push_back ({ id, juce::String (caps.szPname), interfaceNameOf (position) });
    }

    return entries;
}
#endif
} // namespace WinMmDeviceList
