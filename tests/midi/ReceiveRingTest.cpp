#include "midi/ReceiveRing.h"
#include "TestHelpers.h"
#include "midi/MidiInterfaceClass.h"

#include <gtest/gtest.h>

TEST (ReceiveRing, WrapsAfter256BytesAndReadsInPieces)
{
    ReceiveRing ring;
    std::vector<juce::uint8> bytes (256);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = (juce::uint8) i;

    ring.write (bytes.data(), 256);
    EXPECT_EQ (ring.getWriteIndex(), 0u);

    juce::uint8 out[16];
    EXPECT_EQ (ring.read (out, 16), 0u) << "a full lap unread looks empty";

    ring.write (bytes.data(), 10);
    EXPECT_EQ (ring.read (out, 4), 4u);
    EXPECT_EQ (out[0], 0);
    EXPECT_EQ (out[3], 3);
    EXPECT_EQ (ring.read (out, 4), 4u);
    EXPECT_EQ (out[0], 4);
    EXPECT_EQ (ring.read (out, 16), 2u);
    EXPECT_EQ (out[1], 9);
    EXPECT_EQ (ring.read (out, 0), 0u);
}

TEST (ReceiveRing, LinkReadsNothingWithoutAnInputPort)
{
    auto link = std::make_unique<MidiInterfaceClass> (
        std::make_unique<FakePortDirectory> (juce::StringArray {}, std::make_shared<PortLog>()));

    const juce::uint8 sysex[] = { 0xF0, 0x01, 0xF7 };
    link->handleIncomingMidiMessage (nullptr, juce::MidiMessage (sysex, 3));

    juce::uint8 out[8];
    EXPECT_EQ (link->readBytes (out, 8), 0u);
}
