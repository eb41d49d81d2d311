#include "protocol/MorvaneTime.h"

juce::uint32 MorvaneTime::getMillisecondsSince (juce::uint32 startCount) const
{
    return millisecondsBetween (startCount, juce::Time::getMillisecondCounter());
}

juce::uint32 MorvaneTime::millisecondsBetween (juce::uint32 startCount, juce::uint32 nowCount) noexcept
{
    return nowCount - startCount;
}
