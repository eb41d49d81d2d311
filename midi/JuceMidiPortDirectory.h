#pragma once

#include "midi/MidiPortDirectory.h"

#include <juce_audio_devices/juce_audio_devices.h>

/** The real MIDI service: the output list is JUCE's, and ports are opened
    through JUCE's MidiOutput, except on Linux a sound card's MIDI port, which
    is written to its ALSA rawmidi device (see AlsaRawMidiOutputPort). */
class JuceMidiPortDirectory : public MidiPortDirectory
{
public:
    JuceMidiPortDirectory() = default;

    juce::StringArray scanOutputs() override;
    std::unique_ptr<MidiOutputPort> openOutput (int listPosition) override;

private:
    juce::Array<juce::MidiDeviceInfo> devices;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceMidiPortDirectory)
};
