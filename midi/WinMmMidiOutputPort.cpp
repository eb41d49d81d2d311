#include "midi/WinMmMidiOutputPort.h"

WinMmMidiOutputPort::WinMmMidiOutputPort (std::unique_ptr<WinMmOutputDevice> deviceToUse, int stallLimit)
    : device (std::move (deviceToUse)), stallLimitMs (stallLimit)
{
    jassert (device != nullptr);
}

bool WinMmMidiOutputPort::sendMessageNow (const juce::uint8* data, int numBytes)
{
    if (numBytes <= 0)
        return true;

    if (deviceHoldsBuffer || juce::Thread::currentThreadShouldExit())
        return false;

    if (device->startMessage (data, numBytes) != 0)
        return false;

    const auto startMs = juce::Time::getMillisecondCounter();

    while (! device->messageDone())
    {
        if (juce::Thread::currentThreadShouldExit()
            || juce::Time::getMillisecondCounter() - startMs >= (juce::uint32) stallLimitMs)
        {
            giveUp();
            return false;
        }

        device->waitForDone (pollIntervalMs);
    }

    return finish();
}

void WinMmMidiOutputPort::giveUp()
{
    // A reset returns the queued message at once, marked done; what the
    // driver had not sent of it is not sent.
    device->reset();

    const auto startMs = juce::Time::getMillisecondCounter();

    while (! device->messageDone() && juce::Time::getMillisecondCounter() - startMs < (juce::uint32) letGoLimitMs)
        device->waitForDone (pollIntervalMs);

    finish();
}

bool WinMmMidiOutputPort::finish()
{
    // A driver may mark a message done a moment before it lets go of it.
    const auto startMs = juce::Time::getMillisecondCounter();

    for (;;)
    {
        switch (device->finishMessage())
        {
            case WinMmOutputDevice::FinishResult::finished:
                return true;

            case WinMmOutputDevice::FinishResult::failed:
                deviceHoldsBuffer = true;
                return false;

            case WinMmOutputDevice::FinishResult::stillPlaying:
                break;
        }

        if (juce::Time::getMillisecondCounter() - startMs >= (juce::uint32) letGoLimitMs)
        {
            deviceHoldsBuffer = true;
            return false;
        }

        device->waitForDone (2);
    }
}
