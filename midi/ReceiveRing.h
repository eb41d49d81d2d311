#pragma once

#include <juce_core/juce_core.h>

/** The 256-byte ring that holds bytes received from an input port until they
    are read. One writer (the MIDI input thread) and one reader; when more than
    256 bytes arrive unread, the oldest are overwritten. Allocates nothing. */
class ReceiveRing
{
public:
    static constexpr juce::uint32 capacity = 256;

    ReceiveRing() = default;

    /** Appends bytes, overwriting the oldest unread ones when full. */
    void write (const juce::uint8* bytes, int numBytes) noexcept;

    /** Copies up to maximumCount unread bytes to destination; returns how many. */
    juce::uint32 read (juce::uint8* destination, juce::uint32 maximumCount) noexcept;

    juce::uint32 getWriteIndex() const noexcept { return writeIndex; }
    juce::uint32 getReadIndex() const noexcept { return readIndex; }

private:
    juce::uint8 buffer[capacity] = {};
    juce::uint32 writeIndex = 0;
    juce::uint32 readIndex = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ReceiveRing)
};
