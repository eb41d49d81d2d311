#include "midi/ReceiveRing.h"

void ReceiveRing::write (const juce::uint8* bytes, int numBytes) noexcept
{
    for (int i = 0; i < numBytes; ++i)
    {
        buffer[writeIndex] = bytes[i];

        if (++writeIndex >= capacity)
            writeIndex = 0;
    }
}

juce::uint32 ReceiveRing::read (juce::uint8* destination, juce::uint32 maximumCount) noexcept
{
    juce::uint32 copied = 0;

    while (copied < maximumCount)
    {
        if (readIndex >= capacity)
            readIndex = 0;

        if (readIndex == writeIndex)
            break;

        destination[copied++] = buffer[readIndex++];
    }

    return copied;
}
