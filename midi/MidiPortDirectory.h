#pragma once

#include "midi/OpenResult.h"

#include <juce_audio_devices/juce_audio_devices.h>

/** The operating system's MIDI output ports, as the link needs them: the
    current list, and a way to open one of its entries.

    This is the one seam between the program and the MIDI service, so tests
    can run the link against a recording fake on machines without MIDI.
*/
class MidiPortDirectory
{
public:
    virtual ~MidiPortDirectory() = default;

    /** The output ports as the system lists them now, in its order. Called on
        the message thread whenever the link looks for ports that came or went,
        so it must be cheap. */
    virtual juce::Array<juce::MidiDeviceInfo> scanOutputs() = 0;

    /** Opens this entry of an earlier scan. Fails with OpenProblem::gone when
        the port is no longer there; never opens another port instead. */
    virtual OpenResult openOutput (const juce::MidiDeviceInfo& device) = 0;
};
