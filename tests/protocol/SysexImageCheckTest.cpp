#include "protocol/SysexImageCheck.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace
{
SysexImageCheck::Result checkBytes (const std::vector<juce::uint8>& bytes)
{
    return SysexImageCheck::check (bytes.data(), bytes.size());
}
} // namespace

TEST (SysexImageCheckTest, AcceptsGaplessCompleteMessages)
{
    auto result = checkBytes (makeImage ({ 9, 599, 2, 9 }));
    EXPECT_TRUE (result.valid) << result.problem;
    EXPECT_EQ (result.messageCount, 4u);

    result = checkBytes ({ 0xF0, 0xF7 });
    EXPECT_TRUE (result.valid);
}

TEST (SysexImageCheckTest, RefusesEveryKindOfBrokenImage)
{
    const auto good = makeImage ({ 9, 12, 9 });

    struct Case
    {
        const char* what;
        std::vector<juce::uint8> bytes;
        const char* problemStart;
    };

    auto withByte = [&] (size_t at, juce::uint8 value)
    {
        auto b = good;
        b[at] = value;
        return b;
    };

    auto append = [&] (std::vector<juce::uint8> tail)
    {
        auto b = good;
        b.insert (b.end(), tail.begin(), tail.end());
        return b;
    };

    auto insertAt = [&] (size_t at, juce::uint8 value)
    {
        auto b = good;
        b.insert (b.begin() + (long) at, value);
        return b;
    };

    const std::vector<Case> cases {
        { "empty", {}, "the image is empty" },
        { "stray byte first", insertAt (0, 0x41), "byte 0x41 at offset 0 where a message should start" },
        { "stray byte between", insertAt (9, 0x00), "byte 0x00 at offset 9 where a message should start" },
        { "stray byte after", append ({ 0x7F }), "byte 0x7F at offset 30 where a message should start" },
        { "missing last F7", std::vector<juce::uint8> (good.begin(), good.end() - 1),
          "the message at offset 21 has no end" },
        { "F0 inside", withByte (14, 0xF0), "byte 0xF0 at offset 14 inside a message" },
        { "status byte inside", withByte (3, 0x90), "byte 0x90 at offset 3 inside a message" },
        { "lone F0 at end", append ({ 0xF0 }), "the message at offset 30 has no end" },
    };

    for (const auto& c : cases)
    {
        const auto result = checkBytes (c.bytes);
        EXPECT_FALSE (result.valid) << c.what;
        EXPECT_EQ (result.problem, c.problemStart) << c.what;
    }

    EXPECT_FALSE (SysexImageCheck::check (nullptr, 10).valid);
}
