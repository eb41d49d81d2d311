#include "midi/JuceMidiPortDirectory.h"

#include "midi/JuceMidiOutputPort.h"

#if JUCE_WINDOWS
    #include "midi/WinMmDeviceList.h"
    #include "midi/WinMmMidiOutputPort.h"
    #include "midi/WinMmSystemOutputDevice.h"
#endif

#if JUCE_LINUX
    #include "midi/AlsaRawMidiDevice.h"
    #include "midi/AlsaRawMidiOutputPort.h"
    #include "midi/AlsaSequencerPortResolver.h"

    #include <alsa/asoundlib.h>
#endif

namespace
{
#if ! JUCE_WINDOWS
bool isListedNow (const juce::String& identifier)
{
    for (const auto& listed : juce::MidiOutput::getAvailableDevices())
        if (listed.identifier == identifier)
            return true;

    return false;
}
#endif

#if JUCE_LINUX
OpenProblem problemOfOpenError (int error)
{
    if (error == -EBUSY || error == -EAGAIN)
        return OpenProblem::busy;

    if (error == -ENODEV || error == -ENOENT || error == -ENXIO)
        return OpenProblem::gone;

    return OpenProblem::failed;
}

OpenResult openRawMidi (const AlsaSequencerPortResolver::RawMidiAddress& address)
{
    int error = 0;
    auto device = AlsaRawMidiDevice::open (AlsaSequencerPortResolver::deviceName (address), error);

    if (device == nullptr)
        return OpenResult::failure (problemOfOpenError (error), juce::String::fromUTF8 (snd_strerror (error)));

    OpenResult result;
    result.port = std::make_unique<AlsaRawMidiOutputPort> (std::move (device));
    return result;
}
#endif

#if JUCE_WINDOWS
OpenResult openWinMm (const juce::String& identifier)
{
    // Looked up in the device list as it is now: numbers shift when devices
    // come and go, and a device that went must not be replaced by another.
    const auto deviceId = WinMmDeviceList::deviceIdOf (identifier, WinMmDeviceList::currentOutputs());

    if (! deviceId.has_value())
        return OpenResult::failure (OpenProblem::gone);

    OpenProblem problem = OpenProblem::none;
    juce::String detail;
    auto device = WinMmSystemOutputDevice::open (*deviceId, problem, detail);

    if (device == nullptr)
        return OpenResult::failure (problem, detail);

    OpenResult result;
    result.port = std::make_unique<WinMmMidiOutputPort> (std::move (device));
    return result;
}
#endif
} // namespace

juce::Array<juce::MidiDeviceInfo> JuceMidiPortDirectory::scanOutputs()
{
    return juce::MidiOutput::getAvailableDevices();
}

OpenResult JuceMidiPortDirectory::openOutput (const juce::MidiDeviceInfo& device)
{
#if JUCE_LINUX
    // JUCE would send to a sound card's port through the sequencer, whose
    // bridge to the card drops what its 4 KiB buffer cannot hold and tells
    // nobody. Such a port is written to its rawmidi device instead, and JUCE
    // does not open it as well. When that device cannot be opened (someone
    // else holds it), neither is the port: JUCE's path would lose data again.
    if (const auto rawMidi = AlsaSequencerPortResolver::findRawMidiOutput (device.identifier))
        return openRawMidi (*rawMidi);
#endif

#if JUCE_WINDOWS
    // JUCE's Windows send cannot be stopped or bounded (see WinMmMidiOutputPort).
    return openWinMm (device.identifier);
#else
    // A port that went away since the list was taken must not be replaced by
    // whatever the MIDI service would open for an unknown identifier.
    if (! isListedNow (device.identifier))
        return OpenResult::failure (OpenProblem::gone);

    auto output = juce::MidiOutput::openDevice (device.identifier);

    if (output == nullptr)
        return OpenResult::failure (OpenProblem::failed);

    OpenResult result;
    result.port = std::make_unique<JuceMidiOutputPort> (std::move (output));
    return result;
#endif
}
