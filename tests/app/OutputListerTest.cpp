#include "app/OutputLister.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
std::pair<std::string, std::string> listed (juce::StringArray names)
{
    FakePortDirectory ports (names, std::make_shared<PortLog>());
    std::ostringstream out, err;
    EXPECT_EQ (OutputLister::list (ports, out, err), 0);
    return { out.str(), err.str() };
}
} // namespace

TEST (OutputListerTest, PrintsTheNumbersThatOutputIdTakes)
{
    auto [out, err] = listed ({});
    EXPECT_EQ (out, "");
    EXPECT_NE (err, "");

    std::tie (out, err) = listed ({ "Midi Through Port-0" });
    EXPECT_EQ (out, "1\tMidi Through Port-0\n");
    EXPECT_EQ (err, "");

    // The unnamed port keeps its number, so later ports keep theirs.
    std::tie (out, err) = listed ({ "A", "", "Pedal MIDI 1" });
    EXPECT_EQ (out, "1\tA\n2\t\n3\tPedal MIDI 1\n");
}
