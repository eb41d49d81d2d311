#include "midi/JuceMidiPortDirectory.h"

#include "midi/JuceMidiOutputPort.h"

#if JUCE_LINUX
    #include "midi/AlsaRawMidiOutputPort.h"
#endif

juce::StringArray JuceMidiPortDirectory::scanOutputs()
{
    devices = juce::MidiOutput::getAvailableDevices();

    juce::StringArray names;

    for (const auto& device : devices)
        names.add (device.name);

    return names;
}

std::unique_ptr<MidiOutputPort> JuceMidiPortDirectory::openOutput (int listPosition)
{
    if (! juce::isPositiveAndBelow (listPosition, devices.size()))
        return {};

    const auto& identifier = devices.getReference (listPosition).identifier;

#if JUCE_LINUX
    // JUCE would send to a sound card's port through the sequencer, whose
    // bridge to the card drops what its 4 KiB buffer cannot hold and tells
    // nobody. Such a port is written to its rawmidi device instead, and JUCE
    // does not open it as well. When that device cannot be opened (someone
    // else holds it), neither is the port: JUCE's path would lose data again.
    if (const auto rawMidi = AlsaRawMidiOutputPort::findRawMidiOutput (identifier))
        return AlsaRawMidiOutputPort::open (*rawMidi);
#endif

    auto output = juce::MidiOutput::openDevice (identifier);

    if (output == nullptr)
        return {};

    return std::make_unique<JuceMidiOutputPort> (std::move (output));
}
