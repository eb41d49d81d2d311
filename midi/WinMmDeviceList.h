#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <vector>

/** Finds the WinMM output device that JUCE lists under an identifier.

    The list the user chooses from is JUCE's (MidiOutput::getAvailableDevices),
    but the Windows build opens the device through WinMM itself, by device
    number. Numbers shift whenever a device comes or goes, so the chosen entry
    is looked up again in the list as it is now, and a device that is no
    longer there is never replaced by another (JUCE's own open falls back to
    the system's software synthesizer).
*/
namespace WinMmDeviceList
{
/** One output device as JUCE reads it when it lists them: only devices whose
    capabilities could be read, in device order. */
struct Entry
{
    unsigned int deviceId = 0;
    juce::String name;
    /** The driver's interface name; empty when the driver gives none. */
    juce::String interfaceName;
};

/** The identifiers JUCE gives these entries, in the same order: the interface
    name (or the name when there is none), with "-2", "-3", ... appended to
    the second and later of equal ones. */
juce::StringArray juceIdentifiersOf (const std::vector<Entry>& entries);

/** The device number of the entry JUCE lists with this identifier; none when
    no entry has it. */
std::optional<unsigned int> deviceIdOf (const juce::String& identifier, const std::vector<Entry>& entries);

#if JUCE_WINDOWS
/** The output devices as WinMM has them now, read as JUCE reads them. */
std::vector<Entry> currentOutputs();
#endif
} // namespace WinMmDeviceList
