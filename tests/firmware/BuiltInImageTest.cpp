#include "TestHelpers.h"
#include "firmware/FirmwareImage.h"
#include "protocol/SysexImageCheck.h"

#include <gtest/gtest.h>

// The embedded image must have the framing and composition the pedal expects:
// a start message, 493 data messages and an end message, one manufacturer id.
TEST (BuiltInImage, HasTheCompositionOfTheShippedFirmware)
{
    auto image = FirmwareImage::createBuiltIn();
    ASSERT_NE (image->data, nullptr);
    ASSERT_EQ (image->size, 295325);
    EXPECT_EQ (image->getName(), "NimboDelay");
    EXPECT_EQ (image->getVersion(), "1.0.01");
    EXPECT_EQ (image->revision, 473);
    EXPECT_FALSE (image->fixedPacing);

    const auto check = SysexImageCheck::check (image->data, (juce::uint64) image->size);
    ASSERT_TRUE (check.valid) << check.problem;
    EXPECT_EQ (check.messageCount, 495u);

    const auto* bytes = image->data;
    const juce::uint8 manufacturer[3] = { bytes[1], bytes[2], bytes[3] };
    EXPECT_EQ (manufacturer[0], 0x00);

    std::vector<size_t> starts;
    for (juce::int64 i = 0; i < image->size; ++i)
        if (bytes[i] == 0xF0)
            starts.push_back ((size_t) i);

    ASSERT_EQ (starts.size(), 495u);

    auto header = [&] (size_t start) { return std::vector<juce::uint8> (bytes + start + 4, bytes + start + 8); };

    for (size_t m = 0; m < starts.size(); ++m)
    {
        const auto start = starts[m];
        const auto end = m + 1 < starts.size() ? starts[m + 1] : (size_t) image->size;
        const auto length = end - start;
        const bool first = m == 0, last = m + 1 == starts.size();

        ASSERT_EQ (length, (first || last) ? 9u : 599u) << "message " << m;
        ASSERT_EQ (0, memcmp (bytes + start + 1, manufacturer, 3)) << "message " << m;

        if (first)
            EXPECT_EQ (header (start), (std::vector<juce::uint8> { 0x00, 0x10, 0x51, 0x01 }));
        else if (last)
            EXPECT_EQ (header (start), (std::vector<juce::uint8> { 0x00, 0x10, 0x52, 0x01 }));
        else
            ASSERT_EQ (header (start), (std::vector<juce::uint8> { 0x00, 0x10, 0x52, 0x00 })) << "message " << m;
    }
}
