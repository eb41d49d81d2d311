#pragma once

#include "midi/MidiOutputPort.h"

#include <juce_core/juce_core.h>

#include <memory>

/** The operating system's MIDI output ports, as the link needs them: their
    names in list order, and a way to open the port at a list position.

    This is the one seam between the program and the MIDI service, so tests
    can run the link against a recording fake on machines without MIDI.
*/
class MidiPortDirectory
{
public:
    virtual ~MidiPortDirectory() = default;

    /** Takes the current list of output ports and returns their names; list
        position i is what openOutput (i) opens from then on. */
    virtual juce::StringArray scanOutputs() = 0;

    /** Opens the port at this list position of the last scan; null when the
        position is outside the list or the port cannot be opened. */
    virtual std::unique_ptr<MidiOutputPort> openOutput (int listPosition) = 0;
};
