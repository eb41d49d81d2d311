#include "midi/JuceMidiOutputPort.h"

JuceMidiOutputPort::JuceMidiOutputPort (std::unique_ptr<juce::MidiOutput> outputToUse)
    : output (std::move (outputToUse))
{
    jassert (output != nullptr);
}

bool JuceMidiOutputPort::sendMessageNow (const juce::uint8* data, int numBytes)
{
    if (numBytes <= 0)
        return true;

    output->sendMessageNow (juce::MidiMessage (data, numBytes, 0.0));
    return true;
}
