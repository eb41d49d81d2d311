#pragma once

#include "midi/MidiOutputPort.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

/** An output port opened through JUCE's MidiOutput. JUCE reports no send
    errors, so every send counts as taken. */
class JuceMidiOutputPort : public MidiOutputPort
{
public:
    explicit JuceMidiOutputPort (std::unique_ptr<juce::MidiOutput> output);

    bool sendMessageNow (const juce::uint8* data, int numBytes) override;

private:
    std::unique_ptr<juce::MidiOutput> output;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceMidiOutputPort)
};
