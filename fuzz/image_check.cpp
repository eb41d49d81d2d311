// The check that stands between a file and the first byte sent to the pedal.
// Besides ASan/UBSan finding any read outside the input, its verdict and
// message count are compared with a second, deliberately naive reading of
// the same rule, so a check that lets a broken image through fails here.

#include "FuzzTarget.h"
#include "protocol/SysexImageCheck.h"

#include <cstdint>

namespace
{
struct Expected
{
    bool valid;
    juce::uint64 messages;
};

Expected readNaively (const std::uint8_t* data, std::size_t size)
{
    bool insideMessage = false;
    juce::uint64 messages = 0;

    for (std::size_t i = 0; i < size; ++i)
    {
        const auto byte = data[i];

        if (! insideMessage)
        {
            if (byte != 0xF0)
                return { false, 0 };

            insideMessage = true;
        }
        else if (byte == 0xF7)
        {
            insideMessage = false;
            ++messages;
        }
        else if (byte >= 0x80)
        {
            return { false, 0 };
        }
    }

    return { size > 0 && ! insideMessage, messages };
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto result = SysexImageCheck::check (data, size);
    const auto expected = readNaively (data, size);

    fuzzExpect (result.valid == expected.valid, "the check's verdict matches the plain reading");
    fuzzExpect (! result.valid || result.messageCount == expected.messages, "a valid image's message count is right");
    fuzzExpect (result.valid == result.problem.isEmpty(), "exactly the refused images come with a problem text");

    return 0;
}
