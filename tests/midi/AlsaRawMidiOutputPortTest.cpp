#include "midi/AlsaRawMidiOutputPort.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace
{
using State = FakeRawMidiDevice::State;

std::shared_ptr<State> deviceState (size_t bufferBytes, size_t bytesPerPoll)
{
    auto state = std::make_shared<State>();
    state->bufferBytes = bufferBytes;
    state->bytesPerPoll = bytesPerPoll;
    return state;
}
} // namespace

TEST (AlsaRawMidiOutputPort, HandsOverEveryByteInOrderAndReturnsOnceTheDeviceHasThem)
{
    for (const auto& [bufferBytes, perPoll] : { std::pair<size_t, size_t> { 4096, 4096 }, { 64, 16 }, { 2, 1 } })
    {
        auto state = deviceState (bufferBytes, perPoll);
        AlsaRawMidiOutputPort port (std::make_unique<FakeRawMidiDevice> (state));
        const auto message = sysexMessage (599);

        EXPECT_TRUE (port.sendMessageNow (message.data(), (int) message.size())) << bufferBytes;
        EXPECT_EQ (state->taken, message) << "a send returns only when the device has taken the last byte";
        EXPECT_EQ (state->drops, 0);
    }
}

TEST (AlsaRawMidiOutputPort, AnUnpluggedDeviceFailsTheSendAndIsClosedWithoutHoldingAnyone)
{
    auto state = deviceState (256, 32);
    state->unplugAfterTaken = 100;
    // The kernel holds the close of an unplugged device that still has bytes
    // buffered for its full 10 s; this one holds it for 2 s.
    state->closeMs = 2000;
    auto port = std::make_unique<AlsaRawMidiOutputPort> (std::make_unique<FakeRawMidiDevice> (state));
    const auto message = sysexMessage (599);

    EXPECT_FALSE (port->sendMessageNow (message.data(), (int) message.size()));
    EXPECT_LT (state->taken.size(), message.size());
    EXPECT_EQ (state->drops, 0) << "a device that is gone has nothing to drop, and ALSA would print an error";

    port.reset();
    EXPECT_FALSE (state->closed) << "closing must not hold the thread that lets the port go";
    EXPECT_TRUE (pumpUntil ([&] { return state->closed.load(); }, 5000)) << "but it is closed";
}

TEST (AlsaRawMidiOutputPort, ADeviceThatIsStillThereIsClosedAtOnce)
{
    auto state = deviceState (256, 0);
    auto port = std::make_unique<AlsaRawMidiOutputPort> (std::make_unique<FakeRawMidiDevice> (state), 100);
    const auto message = sysexMessage (599);

    EXPECT_FALSE (port->sendMessageNow (message.data(), (int) message.size())) << "stalled";
    port.reset();
    EXPECT_TRUE (state->closed) << "after a stall the buffer was dropped, so the close is quick";
}

TEST (AlsaRawMidiOutputPort, ADeviceThatStopsTakingDataFailsTheSendAfterTheStallLimit)
{
    auto state = deviceState (256, 0);
    AlsaRawMidiOutputPort port (std::make_unique<FakeRawMidiDevice> (state), 150);
    const auto message = sysexMessage (599);

    EXPECT_FALSE (port.sendMessageNow (message.data(), (int) message.size()));
    EXPECT_TRUE (state->taken.empty());
    EXPECT_GE (state->waits, 150 / AlsaRawMidiOutputPort::pollIntervalMs) << "it waited out the limit";
    EXPECT_EQ (state->drops, 1) << "the 256 buffered bytes must not reach the device later";
    EXPECT_EQ (state->buffered, 0u);

    // The same port is usable again once the device takes data.
    state->bytesPerPoll = 4096;
    EXPECT_TRUE (port.sendMessageNow (message.data(), (int) message.size()));
    EXPECT_EQ (state->taken, message);
}

TEST (AlsaRawMidiOutputPort, AStopRequestEndsASendHeldByAStalledDevice)
{
    auto state = deviceState (256, 0);
    AlsaRawMidiOutputPort port (std::make_unique<FakeRawMidiDevice> (state));
    SendingThread sender (port, sysexMessage (599));
    sender.startThread();

    ASSERT_TRUE (pumpUntil ([&] { return state->waits > 2; }));
    EXPECT_EQ (sender.result, -1) << "the send is held";

    // Well inside the 10 s stall limit: only the stop request can end it.
    EXPECT_TRUE (sender.stopThread (2000)) << "the thread ended by itself";
    EXPECT_EQ (sender.result, 0);
    EXPECT_EQ (state->drops, 1);
    EXPECT_TRUE (state->taken.empty());
}

TEST (AlsaRawMidiOutputPort, WritesNothingForAnEmptyMessage)
{
    auto state = deviceState (256, 0);
    AlsaRawMidiOutputPort port (std::make_unique<FakeRawMidiDevice> (state));

    EXPECT_TRUE (port.sendMessageNow (nullptr, 0));
    EXPECT_EQ (state->buffered, 0u);
    EXPECT_EQ (state->waits, 0);
}
