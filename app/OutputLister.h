#pragma once

#include "midi/MidiPortDirectory.h"

#include <iosfwd>

/** Answers --list-outputs: one line per MIDI output port, "N<TAB>name", where
    N is the number --outputid takes for that port. */
class OutputLister
{
public:
    /** Writes the list to out, or a short note to err when there are no
        output ports. Returns the exit code (always 0). */
    static int list (MidiPortDirectory& ports, std::ostream& out, std::ostream& err);

private:
    OutputLister() = delete;
};
