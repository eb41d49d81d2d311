// Faults from outside the program that the other suites do not inject: a
// device that takes a message but does not come back for a long time, and an
// output that goes away after the list was taken but before it is opened.

#include "TestHelpers.h"
#include "protocol/AutoUpdateFlag.h"
#include "protocol/BasicSysexProtocolClass.h"
#include "ui/ContentComp.h"

#include <gtest/gtest.h>

TEST (FaultInjection, StalledSendStillLetsTheWorkerStopWithinItsStopTime)
{
    const auto bytes = makeImage (std::vector<int> (100, 30));
    FirmwareImage image ("test", "1", 0);
    image.data = bytes.data();
    image.size = (juce::int64) bytes.size();
    image.fixedPacing = true;

    RecordingLink link;
    auto protocol = std::make_unique<BasicSysexProtocolClass> (&link, &image);
    protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return link.getMessageCount() >= 2; }));

    // No error, no exception: the send just takes 600 ms from now on.
    link.stallMs = 600;
    pumpFor (100);
    const auto sentBefore = link.getMessageCount();

    // The destructor's stop time is 2000 ms; past it the thread would be
    // killed in the middle of a send.
    const auto before = juce::Time::getMillisecondCounterHiRes();
    protocol.reset();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - before, 1500.0);
    EXPECT_LE (link.getMessageCount(), sentBefore + 1) << "nothing may be sent after the stalled message";
}

namespace
{
/** A port that is in the list, but unplugged before anyone opens it. */
struct VanishingPorts : public FakePortDirectory
{
    using FakePortDirectory::FakePortDirectory;

    juce::StringArray scanOutputs() override
    {
        const auto listed = FakePortDirectory::scanOutputs();
        failingPositions.add (1);
        return listed;
    }
};
} // namespace

TEST (FaultInjection, OutputUnpluggedBetweenListAndOpenIsNeitherUsedNorReplaced)
{
    auto log = std::make_shared<PortLog>();
    AlertLog alerts;
    auto panel = std::make_unique<ContentComp> (
        "--autoupdate --outputid 2", std::make_unique<VanishingPorts> (juce::StringArray { "Through", "Pedal" }, log),
        alerts.recorder());
    pumpFor (100);

    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].message, "Please select an output device:");
    EXPECT_FALSE (panel->getProtocol()->isThreadRunning());
    EXPECT_FALSE (panel->getMidiInterface().isReady());
    EXPECT_FALSE (panel->getUpdateButton().isEnabled());

    // The other output in the list must not be opened in its place.
    for (const auto& event : log->getEvents())
        EXPECT_TRUE (event == "request 1") << event;

    panel.reset();
    AutoUpdateFlag::set (false);
}
