#pragma once

#include "midi/MidiPortDirectory.h"

/** The real MIDI service: the output list is JUCE's, and ports are opened
    through JUCE's MidiOutput, except on Linux a sound card's MIDI port, which
    is written to its ALSA rawmidi device (see AlsaRawMidiOutputPort). */
class JuceMidiPortDirectory : public MidiPortDirectory
{
public:
    JuceMidiPortDirectory() = default;

    juce::Array<juce::MidiDeviceInfo> scanOutputs() override;
    OpenResult openOutput (const juce::MidiDeviceInfo& device) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceMidiPortDirectory)
};
