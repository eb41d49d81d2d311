#include "protocol/SysexImageCheck.h"

namespace
{
juce::String hexByte (juce::uint8 byte)
{
    return "0x" + juce::String::toHexString ((int) byte).paddedLeft ('0', 2).toUpperCase();
}
} // namespace

SysexImageCheck::Result SysexImageCheck::check (const juce::uint8* data, juce::uint64 size)
{
    Result result;

    if (data == nullptr || size == 0)
    {
        result.problem = "the image is empty";
        return result;
    }

    juce::uint64 position = 0;

    while (position < size)
    {
        const auto messageStart = position;

        if (data[position] != 0xF0)
        {
            result.problem = "byte " + hexByte (data[position]) + " at offset " + juce::String (position)
                             + " where a message should start";
            return result;
        }

        ++position;

        while (position < size && data[position] < 0x80)
            ++position;

        if (position == size)
        {
            result.problem = "the message at offset " + juce::String (messageStart) + " has no end";
            return result;
        }

        if (data[position] != 0xF7)
        {
            result.problem =
                "byte " + hexByte (data[position]) + " at offset " + juce::String (position) + " inside a message";
            return result;
        }

        ++position;
        ++result.messageCount;
    }

    result.valid = true;
    return result;
}
