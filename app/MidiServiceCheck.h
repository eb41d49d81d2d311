#pragma once

#include <juce_core/juce_core.h>

/** Asks whether the system's MIDI service can be asked for its ports at all.
    JUCE's list of outputs is just empty when it cannot (on Linux when the
    ALSA sequencer is missing or not ours to open), which a script must not
    take for "no pedal connected". */
class MidiServiceCheck
{
public:
    /** Empty when the service answers; otherwise why not, for the user.
        Windows' MIDI functions always answer. */
    static juce::String findProblem();

private:
    MidiServiceCheck() = delete;
};
