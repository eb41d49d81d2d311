#include "protocol/BasicSysexProtocolClass.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace
{
struct Observed : public juce::ChangeListener
{
    explicit Observed (ProgressClass& p) : progress (p) { progress.addChangeListener (this); }
    ~Observed() override { progress.removeChangeListener (this); }

    void changeListenerCallback (juce::ChangeBroadcaster*) override
    {
        values.push_back (progress.getProgress());
        statuses.push_back (progress.getStatusText());
        if (progress.getProgress() == 1.0)
            messagesAtFull.push_back (messageCount ? messageCount() : 0);
    }

    ProgressClass& progress;
    std::function<size_t()> messageCount;
    std::vector<double> values;
    std::vector<juce::String> statuses;
    std::vector<size_t> messagesAtFull;
};

struct Upload
{
    explicit Upload (std::vector<juce::uint8> bytesToSend, bool fixedPacing = true) : bytes (std::move (bytesToSend))
    {
        image.data = bytes.empty() ? nullptr : bytes.data();
        image.size = (juce::int64) bytes.size();
        image.fixedPacing = fixedPacing;
        protocol = std::make_unique<BasicSysexProtocolClass> (&link, &image);
        link.workerClock = [p = protocol.get()] { return p->getCurrentSendStartMs(); };
        observed = std::make_unique<Observed> (*protocol);
        observed->messageCount = [this] { return link.getMessageCount(); };
    }

    ~Upload()
    {
        observed.reset();
        protocol.reset();
    }

    bool runToEnd (int timeoutMs = 20000)
    {
        return pumpUntil ([this] { return ! protocol->isThreadRunning(); }, timeoutMs) && (pumpFor (20), true);
    }

    std::vector<juce::uint8> bytes;
    RecordingLink link;
    FirmwareImage image { "test", "1", 0 };
    std::unique_ptr<BasicSysexProtocolClass> protocol;
    std::unique_ptr<Observed> observed;
};

std::vector<double> gapsOf (const std::vector<double>& times)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < times.size(); ++i)
        gaps.push_back (times[i] - times[i - 1]);
    return gaps;
}
} // namespace

// One full upload of the built-in image, checked from every side at once.
TEST (SysexUpload, BuiltInImageGoesOutWholeInOrderAndPaced)
{
    Upload upload (builtInImageBytes());
    EXPECT_EQ (upload.protocol->getStatusText(), "");
    EXPECT_EQ (upload.protocol->getThreadName(), "Protocol Thread");

    upload.protocol->start();
    ASSERT_TRUE (upload.runToEnd());

    const auto messages = upload.link.getMessages();
    ASSERT_EQ (messages.size(), 495u);
    EXPECT_EQ (messages.front().size(), 9u);
    EXPECT_EQ (messages.back().size(), 9u);

    std::vector<juce::uint8> joined;
    for (size_t i = 0; i < messages.size(); ++i)
    {
        if (i > 0 && i < 494)
        {
            ASSERT_EQ (messages[i].size(), 599u) << i;
        }
        joined.insert (joined.end(), messages[i].begin(), messages[i].end());
    }
    EXPECT_EQ (joined, upload.bytes);

    // The pauses as the worker measures them must never fall short. (The
    // link sees each send a little later, by a lag that varies with the load,
    // so its own stamps cannot hold a bound this tight.)
    for (auto gap : gapsOf (upload.link.getWorkerSendTimes()))
        ASSERT_GE (gap, 15.0);

    const auto& values = upload.observed->values;
    ASSERT_FALSE (values.empty());
    EXPECT_LE (values.size(), 103u);
    for (size_t i = 0; i < values.size(); ++i)
    {
        EXPECT_EQ (values[i], std::round (values[i] * 100.0) / 100.0);
        EXPECT_GE (values[i], i > 0 ? values[i - 1] : 0.0);
    }
    for (auto count : upload.observed->messagesAtFull)
        EXPECT_EQ (count, 495u) << "100 % only once every byte has gone";

    EXPECT_EQ (upload.observed->statuses.front(), "Uploading firmware");
    EXPECT_EQ (upload.protocol->getStatusText(), "Update completed");
    EXPECT_EQ (upload.protocol->getProgress(), 1.0);
    EXPECT_EQ (upload.protocol->getUploadOutcome(), UploadOutcome::completed);
    EXPECT_EQ (upload.protocol->getMessagesSent(), 495u);
    EXPECT_EQ (upload.protocol->getBytesSent(), 295325u);
    EXPECT_TRUE (upload.link.isEnabled());
}

TEST (SysexUpload, SecondStartAfterCompletionSendsEverythingAgainFromTheFirstByte)
{
    Upload upload (makeImage ({ 9, 30, 9 }));
    upload.protocol->start();
    ASSERT_TRUE (upload.runToEnd());
    ASSERT_EQ (upload.link.getMessageCount(), 3u);
    upload.observed->values.clear();

    upload.protocol->start();
    EXPECT_EQ (upload.protocol->getProgress(), 0.0) << "0 is published before the worker runs";
    EXPECT_FALSE (upload.protocol->hasUploadEnded());
    ASSERT_TRUE (upload.runToEnd());

    const auto messages = upload.link.getMessages();
    ASSERT_EQ (messages.size(), 6u);
    EXPECT_EQ (messages[3], messages[0]);
    EXPECT_EQ (messages[5], messages[2]);
    EXPECT_EQ (upload.protocol->getStatusText(), "Update completed");
}

TEST (SysexUpload, StartWhileRunningChangesNothing)
{
    Upload upload (makeImage (std::vector<int> (20, 40)));
    upload.protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return upload.link.getMessageCount() >= 3; }));

    const auto progressBefore = upload.protocol->getProgress();
    upload.protocol->start();
    EXPECT_EQ (upload.protocol->getProgress(), progressBefore);

    ASSERT_TRUE (upload.runToEnd());
    EXPECT_EQ (upload.link.getMessageCount(), 20u);
}

TEST (SysexUpload, StopMidUploadEndsWithoutCompletionAndLeavesTheLinkDisabled)
{
    Upload upload (makeImage (std::vector<int> (40, 20)));
    upload.protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return upload.link.getMessageCount() >= 5; }));

    upload.protocol->signalThreadShouldExit();
    ASSERT_TRUE (upload.runToEnd (2000));

    EXPECT_LT (upload.link.getMessageCount(), 40u);
    EXPECT_EQ (upload.protocol->getStatusText(), "Uploading firmware");
    EXPECT_FALSE (upload.link.isEnabled());
    EXPECT_EQ (upload.protocol->getUploadOutcome(), UploadOutcome::stopped);
}

TEST (SysexUpload, ALinkEnabledAgainDuringTheUploadIsDisabledBeforeTheNextMessage)
{
    Upload upload (makeImage (std::vector<int> (40, 20)));
    upload.protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return upload.link.getMessageCount() >= 3; }));

    upload.link.setEnabled (true);
    ASSERT_TRUE (upload.runToEnd());
    ASSERT_EQ (upload.link.getMessageCount(), 40u);

    // Enabled while a send is under way, or in the moment between the
    // worker's look and its send, one message goes out with the link
    // enabled; none after it.
    const auto enabled = upload.link.getEnabledAtSends();
    EXPECT_LE (std::count (enabled.begin(), enabled.end(), true), 1);
    EXPECT_TRUE (upload.link.isEnabled()) << "enabled again once the upload completed";
}

TEST (SysexUpload, StopDuringTheLastPauseSkipsTheCompletionSteps)
{
    // One 599-byte message with the length rule: a 209 ms pause to stop in.
    Upload upload (makeImage ({ 599 }), false);
    upload.protocol->start();
    ASSERT_TRUE (pumpUntil ([&] { return upload.link.getMessageCount() == 1; }));

    upload.protocol->signalThreadShouldExit();
    ASSERT_TRUE (upload.runToEnd (2000));

    EXPECT_EQ (upload.protocol->getStatusText(), "Uploading firmware");
    EXPECT_FALSE (upload.link.isEnabled());
    EXPECT_EQ (upload.protocol->getUploadOutcome(), UploadOutcome::stopped);
    EXPECT_EQ (upload.protocol->getMessagesSent(), 1u) << "the message itself was sent whole";
}

TEST (SysexUpload, LengthRulePacesLongMessagesLonger)
{
    Upload upload (makeImage ({ 599, 9, 9 }), false);
    upload.protocol->start();
    ASSERT_TRUE (upload.runToEnd());

    const auto gaps = gapsOf (upload.link.getWorkerSendTimes());
    ASSERT_EQ (gaps.size(), 2u);
    EXPECT_GE (gaps[0], 209.0);
    EXPECT_GE (gaps[1], 13.0);
    EXPECT_EQ (BasicSysexProtocolClass::minimumPauseMs (599, false), 209.0);
    EXPECT_EQ (BasicSysexProtocolClass::minimumPauseMs (9, false), 13.0);
    EXPECT_EQ (BasicSysexProtocolClass::minimumPauseMs (599, true), 15.0);
}

TEST (SysexUpload, SingleMessageImageCompletes)
{
    Upload upload ({ 0xF0, 0x01, 0x02, 0xF7 });
    upload.protocol->start();
    ASSERT_TRUE (upload.runToEnd());
    EXPECT_EQ (upload.link.getMessageCount(), 1u);
    EXPECT_EQ (upload.protocol->getStatusText(), "Update completed");
}

TEST (SysexUpload, BadImagesSendNothingAndEndWithTheirOwnStatus)
{
    auto good = makeImage ({ 9, 20, 9 });
    auto strayAfter = good;
    strayAfter.push_back (0x00);
    auto noEnd = std::vector<juce::uint8> (good.begin(), good.end() - 1);
    auto highByte = good;
    highByte[15] = 0xF0;

    for (const auto& bytes : { std::vector<juce::uint8> {}, strayAfter, noEnd, highByte })
    {
        Upload upload (bytes);
        upload.protocol->start();
        ASSERT_TRUE (upload.runToEnd());

        EXPECT_EQ (upload.link.getMessageCount(), 0u);
        EXPECT_TRUE (upload.protocol->getStatusText().startsWith ("Invalid firmware file, nothing was sent ("))
            << upload.protocol->getStatusText();
        EXPECT_EQ (upload.protocol->getProgress(), 0.0);
        EXPECT_EQ (upload.protocol->getUploadOutcome(), UploadOutcome::invalidImage);
        EXPECT_TRUE (upload.link.isEnabled());
    }
}

TEST (SysexUpload, FailedSendOrMissingOutputEndsTheUploadWithoutCompletion)
{
    {
        Upload upload (makeImage (std::vector<int> (10, 30)));
        upload.link.failAfterMessages = 3;
        upload.protocol->start();
        ASSERT_TRUE (upload.runToEnd());

        EXPECT_EQ (upload.link.getMessageCount(), 3u);
        EXPECT_EQ (upload.protocol->getStatusText(), BasicSysexProtocolClass::sendFailedText);
        EXPECT_EQ (upload.protocol->getProgress(), 0.0);
        EXPECT_EQ (upload.protocol->getUploadOutcome(), UploadOutcome::sendFailed);
        EXPECT_EQ (upload.protocol->getMessagesSent(), 3u);
        EXPECT_EQ (upload.protocol->getBytesSent(), 90u);
        EXPECT_TRUE (upload.link.isEnabled());
    }

    Upload upload (makeImage ({ 9, 9 }));
    upload.link.ready = false;
    upload.protocol->start();
    ASSERT_TRUE (upload.runToEnd());
    EXPECT_EQ (upload.link.getMessageCount(), 0u);
    EXPECT_EQ (upload.protocol->getStatusText(), BasicSysexProtocolClass::noOutputText);
    EXPECT_EQ (upload.protocol->getUploadOutcome(), UploadOutcome::noOutput);
}

TEST (SysexUpload, DestroyingARunningProtocolStopsItPromptly)
{
    auto bytes = makeImage (std::vector<int> (200, 30));

    {
        // While the worker is mid-upload.
        Upload upload (bytes);
        upload.protocol->start();
        ASSERT_TRUE (pumpUntil ([&] { return upload.link.getMessageCount() >= 2; }));
        const auto before = juce::Time::getMillisecondCounterHiRes();
        upload.observed.reset();
        upload.protocol.reset();
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - before, 2000.0);
    }

    // While the worker waits for the message thread, which is not pumping.
    Upload upload (bytes);
    upload.protocol->start();
    juce::Thread::sleep (50);
    const auto before = juce::Time::getMillisecondCounterHiRes();
    upload.observed.reset();
    upload.protocol.reset();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - before, 1000.0) << "the lock request gives up on a stop";
    EXPECT_EQ (upload.link.getMessageCount(), 0u);
}
