#pragma once

#include <juce_core/juce_core.h>

/** One open MIDI output port. Closing it is destroying it. */
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;

    /** Sends one complete MIDI message, returning once the port has taken all
        of it. Returns false when the port reported that it could not. */
    virtual bool sendMessageNow (const juce::uint8* data, int numBytes) = 0;
};
