#include "midi/WinMmMidiOutputPort.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>

namespace
{
using Finish = WinMmOutputDevice::FinishResult;

/** A WinMM driver as the port sees it: it returns a message after a given
    number of waits (or never), on a reset or not, and answers the calls it
    is told to. */
class FakeWinMmDevice : public WinMmOutputDevice
{
public:
    struct State
    {
        juce::CriticalSection lock;
        /** Waits until the driver marks a message done; -1: never. */
        int doneAfterWaits = 0;
        bool doneOnReset = true;
        int startError = 0;
        /** What finishMessage answers, in turn; then "finished". */
        std::deque<Finish> finishAnswers;
        std::vector<std::vector<juce::uint8>> started;
        std::atomic<int> waits { 0 };
        std::atomic<int> resets { 0 };
        std::atomic<int> finishes { 0 };
        bool done = false;
        int waitsLeft = 0;
    };

    explicit FakeWinMmDevice (std::shared_ptr<State> stateToUse) : state (std::move (stateToUse)) {}

    int startMessage (const juce::uint8* data, int numBytes) override
    {
        const juce::ScopedLock sl (state->lock);

        if (state->startError != 0)
            return state->startError;

        state->started.emplace_back (data, data + numBytes);
        state->waitsLeft = state->doneAfterWaits;
        state->done = state->doneAfterWaits == 0;
        return 0;
    }

    bool messageDone() override
    {
        const juce::ScopedLock sl (state->lock);
        return state->done;
    }

    void waitForDone (int timeoutMs) override
    {
        ++state->waits;
        {
            const juce::ScopedLock sl (state->lock);

            if (state->waitsLeft > 0 && --state->waitsLeft == 0)
            {
                state->done = true;
                return;
            }
        }
        // A driver that has not finished lets the whole wait pass.
        std::this_thread::sleep_for (std::chrono::milliseconds (timeoutMs));
    }

    void reset() override
    {
        ++state->resets;
        const juce::ScopedLock sl (state->lock);

        if (state->doneOnReset)
            state->done = true;
    }

    Finish finishMessage() override
    {
        ++state->finishes;
        const juce::ScopedLock sl (state->lock);

        if (state->finishAnswers.empty())
            return Finish::finished;

        const auto answer = state->finishAnswers.front();
        state->finishAnswers.pop_front();
        return answer;
    }

private:
    std::shared_ptr<State> state;
};

struct PortUnderTest
{
    explicit PortUnderTest (int stallLimitMs = WinMmMidiOutputPort::defaultStallLimitMs)
        : state (std::make_shared<FakeWinMmDevice::State>()),
          port (std::make_unique<FakeWinMmDevice> (state), stallLimitMs)
    {
    }

    bool send (const std::vector<juce::uint8>& message)
    {
        return port.sendMessageNow (message.data(), (int) message.size());
    }

    std::shared_ptr<FakeWinMmDevice::State> state;
    WinMmMidiOutputPort port;
};
} // namespace

TEST (WinMmMidiOutputPort, ReturnsOnceTheDriverHasSentTheWholeMessageAndLetGoOfIt)
{
    PortUnderTest test;
    const auto message = sysexMessage (599);
    test.state->doneAfterWaits = 3;
    // Done is set a moment before the driver lets go of the header.
    test.state->finishAnswers = { Finish::stillPlaying, Finish::stillPlaying };

    EXPECT_TRUE (test.send (message));
    ASSERT_EQ (test.state->started.size(), 1u);
    EXPECT_EQ (test.state->started[0], message) << "one whole message, as it was";
    EXPECT_EQ (test.state->waits, 3 + 2) << "it waited for done, then for the driver to let go";
    EXPECT_EQ (test.state->finishes, 3);
    EXPECT_EQ (test.state->resets, 0);

    EXPECT_TRUE (test.port.sendMessageNow (nullptr, 0)) << "nothing to send is no failure";
    EXPECT_EQ (test.state->started.size(), 1u);
}

TEST (WinMmMidiOutputPort, AMessageNotDoneWithinTheStallLimitIsCalledBackAndTheSendFails)
{
    PortUnderTest test (150);
    const auto message = sysexMessage (599);
    test.state->doneAfterWaits = -1;

    const auto startMs = juce::Time::getMillisecondCounterHiRes();
    EXPECT_FALSE (test.send (message));
    EXPECT_GE (juce::Time::getMillisecondCounterHiRes() - startMs, 150.0) << "it waited out the limit";
    EXPECT_EQ (test.state->resets, 1) << "the rest of the message must not go out later";
    EXPECT_EQ (test.state->finishes, 1) << "the message was taken back from the driver";

    // The same port is usable again once the driver sends.
    test.state->doneAfterWaits = 1;
    EXPECT_TRUE (test.send (message));
    EXPECT_EQ (test.state->started.size(), 2u);
}

TEST (WinMmMidiOutputPort, AStopRequestEndsASendThatTheDriverHolds)
{
    PortUnderTest test;
    test.state->doneAfterWaits = -1;
    SendingThread sender (test.port, sysexMessage (599));
    sender.startThread();

    ASSERT_TRUE (pumpUntil ([&] { return test.state->waits > 2; }));
    EXPECT_EQ (sender.result, -1) << "the send is held";

    // Well inside the 10 s stall limit: only the stop request can end it.
    EXPECT_TRUE (sender.stopThread (2000)) << "the thread ended by itself";
    EXPECT_EQ (sender.result, 0);
    EXPECT_EQ (test.state->resets, 1);
    EXPECT_EQ (test.state->finishes, 1);
}

TEST (WinMmMidiOutputPort, FailedCallsFailTheSendAndADriverThatKeepsAMessageGetsNoOther)
{
    const auto message = sysexMessage (20);

    {
        PortUnderTest test;
        test.state->startError = 11; // MMSYSERR_INVALPARAM
        EXPECT_FALSE (test.send (message));
        EXPECT_EQ (test.state->finishes, 0) << "nothing was queued";

        test.state->startError = 0;
        EXPECT_TRUE (test.send (message)) << "a refused message leaves the port usable";
    }

    {
        PortUnderTest test;
        test.state->finishAnswers = { Finish::failed };
        EXPECT_FALSE (test.send (message));
        EXPECT_FALSE (test.send (message)) << "the driver still has the first message";
        EXPECT_EQ (test.state->started.size(), 1u);
    }

    {
        // Stopped, and the driver neither returns the message on a reset nor
        // lets go of it: the send still ends, and the port sends no more.
        PortUnderTest test;
        test.state->doneAfterWaits = -1;
        test.state->doneOnReset = false;
        test.state->finishAnswers.assign (1000, Finish::stillPlaying);
        SendingThread sender (test.port, message);
        sender.startThread();

        ASSERT_TRUE (pumpUntil ([&] { return test.state->waits > 0; }));
        EXPECT_TRUE (sender.stopThread (2000)) << "the thread ended by itself";
        EXPECT_EQ (sender.result, 0);
        EXPECT_FALSE (test.send (message));
        EXPECT_EQ (test.state->started.size(), 1u);
    }
}
