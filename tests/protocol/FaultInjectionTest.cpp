// Faults from outside the program that the other suites do not inject: a
// device that takes a message but does not come back for a long time, and an
// output that goes away after the list was taken but before it is opened.

#include "TestHelpers.h"
#include "midi/MidiInterfaceClass.h"
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

#if JUCE_LINUX
    #include "midi/AlsaRawMidiOutputPort.h"

namespace
{
/** The real link, with a pedal whose rawmidi device stops taking data once
    it has taken stallAfter bytes, under the real port's waiting code. */
struct StallingPedal
{
    explicit StallingPedal (std::vector<juce::uint8> imageBytes, bool fixedPacing, size_t stallAfter)
        : bytes (std::move (imageBytes))
    {
        device->bufferBytes = 256;
        device->bytesPerPoll = 4096;
        auto ports = std::make_unique<FakePortDirectory> (juce::StringArray { "Pedal" }, log);
        ports->makePort = [this] (int)
        { return std::make_unique<AlsaRawMidiOutputPort> (std::make_unique<FakeRawMidiDevice> (device)); };
        link = std::make_unique<MidiInterfaceClass> (std::move (ports));
        link->getOutputSelector().setSelectedId (1);
        pumpUntil ([this] { return link->isReady(); });

        image.data = bytes.data();
        image.size = (juce::int64) bytes.size();
        image.fixedPacing = fixedPacing;
        protocol = std::make_unique<BasicSysexProtocolClass> (link.get(), &image);
        device->stallAfterTaken = stallAfter;
    }

    /** Starts the upload and returns once the device has stalled with a send
        waiting on it. */
    bool startAndStall()
    {
        protocol->start();
        return pumpUntil (
            [this]
            {
                const juce::ScopedLock sl (device->lock);
                return device->bytesPerPoll == 0 && device->buffered > 0;
            });
    }

    std::vector<juce::uint8> bytes;
    std::shared_ptr<PortLog> log = std::make_shared<PortLog>();
    std::shared_ptr<FakeRawMidiDevice::State> device = std::make_shared<FakeRawMidiDevice::State>();
    std::unique_ptr<MidiInterfaceClass> link;
    FirmwareImage image { "test", "1", 0 };
    std::unique_ptr<BasicSysexProtocolClass> protocol;
};
} // namespace

TEST (FaultInjection, AStopEndsASendHeldByAStalledPedalWithoutKillingTheWorker)
{
    StallingPedal pedal (makeImage (std::vector<int> (100, 599)), true, 1500);
    ASSERT_TRUE (pedal.startAndStall());

    // Well inside the 10 s stall limit: only the stop request ends the send.
    // stopThread's answer tells whether the thread ended by itself.
    EXPECT_TRUE (pedal.protocol->stopThread (2000));
    EXPECT_EQ (pedal.protocol->getUploadOutcome(), UploadOutcome::stopped);
    EXPECT_EQ (pedal.device->drops, 1) << "the rest of the cut message must not trickle out later";
    EXPECT_EQ (pedal.device->writesAfterDrop, 0);
    EXPECT_TRUE (pedal.link->isReady()) << "a stop is no device fault";
    pedal.protocol.reset();
}

TEST (FaultInjection, AStopEndsAPauseWithoutKillingTheWorker)
{
    // With the length rule a 30,000-byte message is followed by a 10 s pause.
    StallingPedal pedal (makeImage ({ 30000, 9 }), false, 1000000);
    pedal.protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return pedal.protocol->getMessagesSent() == 1; }));

    EXPECT_TRUE (pedal.protocol->stopThread (2000));
    EXPECT_EQ (pedal.protocol->getUploadOutcome(), UploadOutcome::stopped);
    EXPECT_EQ (pedal.device->taken.size(), 30000u);
}

TEST (FaultInjection, APedalUnpluggedMidSendFailsTheUploadAndClosesItsPort)
{
    StallingPedal pedal (makeImage (std::vector<int> (100, 599)), true, 1000000);
    pedal.device->unplugAfterTaken = 3000;
    pedal.protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return pedal.protocol->hasUploadEnded(); }));
    pumpFor (50);

    EXPECT_EQ (pedal.protocol->getUploadOutcome(), UploadOutcome::sendFailed);
    EXPECT_EQ (pedal.protocol->getStatusText(), BasicSysexProtocolClass::sendFailedText);
    EXPECT_FALSE (pedal.link->isReady());
    EXPECT_EQ (pedal.link->getOutputSelector().getText(), "(Disconnected)");
    EXPECT_LT (pedal.protocol->getMessagesSent(), 6u);
}
#endif

namespace
{
/** A port that is in the list, but unplugged before anyone opens it. */
struct VanishingPorts : public FakePortDirectory
{
    using FakePortDirectory::FakePortDirectory;

    juce::Array<juce::MidiDeviceInfo> scanOutputs() override
    {
        const auto listed = FakePortDirectory::scanOutputs();
        setPorts ({ "Through" });
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

    // Told that the pedal is gone, and only that: not to choose an output.
    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].title, "MIDI output not found");
    EXPECT_TRUE (alerts.entries[0].message.startsWith ("\"Pedal\" is no longer connected."));
    EXPECT_FALSE (panel->getProtocol()->isThreadRunning());
    EXPECT_FALSE (panel->getMidiInterface().isReady());
    EXPECT_FALSE (panel->getUpdateButton().isEnabled());

    // The other output in the list must not be opened in its place.
    for (const auto& event : log->getEvents())
        EXPECT_TRUE (event == "request -1") << event;

    panel.reset();
    AutoUpdateFlag::set (false);
}
