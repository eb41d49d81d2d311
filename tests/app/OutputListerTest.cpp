#include "app/OutputLister.h"
#include "TestHelpers.h"
#include "ui/ExitStatus.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
struct Listing
{
    std::string out, err;
    int status = -1;
};

Listing listed (juce::StringArray names, const juce::String& serviceProblem = {})
{
    FakePortDirectory ports (names, std::make_shared<PortLog>());
    std::ostringstream out, err;
    Listing result;
    result.status = OutputLister::list (ports, serviceProblem, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}
} // namespace

TEST (OutputListerTest, PrintsTheNumbersThatOutputIdTakes)
{
    auto l = listed ({});
    EXPECT_EQ (l.status, 0);
    EXPECT_EQ (l.out, "");
    EXPECT_NE (l.err, "");

    l = listed ({ "Midi Through Port-0" });
    EXPECT_EQ (l.status, 0);
    EXPECT_EQ (l.out, "1\tMidi Through Port-0\n");
    EXPECT_EQ (l.err, "");

    // The unnamed port keeps its number, so later ports keep theirs.
    l = listed ({ "A", "", "Pedal MIDI 1" });
    EXPECT_EQ (l.out, "1\tA\n2\t\n3\tPedal MIDI 1\n");
}

TEST (OutputListerTest, AServiceThatCannotBeAskedIsNotAnEmptyList)
{
    const auto l = listed ({ "Pedal MIDI 1" }, "the ALSA sequencer cannot be opened (No such file or directory)");
    EXPECT_EQ (l.status, (int) ExitStatus::midiServiceUnavailable);
    EXPECT_EQ (l.out, "") << "nothing a script could take for a list";
    EXPECT_NE (l.err.find ("cannot ask the MIDI service"), std::string::npos) << l.err;
    EXPECT_NE (l.err.find ("No such file or directory"), std::string::npos) << l.err;
}
