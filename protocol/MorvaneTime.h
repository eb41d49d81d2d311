#pragma once

#include <juce_core/juce_core.h>

/** Elapsed time on JUCE's 32-bit millisecond counter, correct across the
    counter's wrap. */
class MorvaneTime : public juce::Time
{
public:
    MorvaneTime() = default;

    /** Milliseconds from startCount (a Time::getMillisecondCounter value) to now. */
    juce::uint32 getMillisecondsSince (juce::uint32 startCount) const;

    /** now - startCount in unsigned 32-bit arithmetic: the true elapsed time
        even when the counter wrapped past 2^32 in between. */
    static juce::uint32 millisecondsBetween (juce::uint32 startCount, juce::uint32 nowCount) noexcept;
};
