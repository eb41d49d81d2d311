#include "midi/JuceMidiPortDirectory.h"

#include "midi/JuceMidiOutputPort.h"

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

    auto output = juce::MidiOutput::openDevice (devices.getReference (listPosition).identifier);

    if (output == nullptr)
        return {};

    return std::make_unique<JuceMidiOutputPort> (std::move (output));
}
