#pragma once

#include "midi/MidiPortDirectory.h"

#include <iosfwd>

/** Answers --list-outputs: one line per MIDI output port, "N<TAB>name", where
    N is the number --outputid takes for that port. */
class OutputLister
{
public:
    /** Writes the list to out, or a short note to err when there are no
        output ports, and returns 0. When serviceProblem says why the MIDI
        service cannot be asked, nothing is listed: err says so and the
        status is ExitStatus::midiServiceUnavailable, so that a script does
        not take it for a machine without a pedal. */
    static int list (MidiPortDirectory& ports, const juce::String& serviceProblem, std::ostream& out,
                     std::ostream& err);

private:
    OutputLister() = delete;
};
