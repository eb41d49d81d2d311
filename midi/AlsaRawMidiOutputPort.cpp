#include "midi/AlsaRawMidiOutputPort.h"

#include <cerrno>
#include <chrono>
#include <thread>

AlsaRawMidiOutputPort::AlsaRawMidiOutputPort (std::unique_ptr<RawMidiDevice> deviceToUse, int stallLimit)
    : device (std::move (deviceToUse)), stallLimitMs (stallLimit)
{
    jassert (device != nullptr);
}

AlsaRawMidiOutputPort::~AlsaRawMidiOutputPort()
{
    // Closing a rawmidi device makes the kernel wait until its buffer is
    // empty, for up to 10 s. A device unplugged in the middle of a message
    // leaves bytes there that nobody will ever take, and refuses to have
    // them dropped; so its close would hold whoever closes it for the full
    // 10 s, the user interface included. It is closed on a thread of its
    // own instead. Should the program end first, ending the process cuts
    // that wait short (it is interruptible).
    if (deviceGone)
        std::thread ([closing = std::move (device)]() mutable { closing.reset(); }).detach();
}

bool AlsaRawMidiOutputPort::sendMessageNow (const juce::uint8* data, int numBytes)
{
    if (numBytes <= 0)
        return true;

    const auto total = (size_t) numBytes;
    size_t taken = 0;
    lastFreeSpace = 0;
    lastProgressMs = juce::Time::getMillisecondCounter();

    while (taken < total)
    {
        if (juce::Thread::currentThreadShouldExit())
            return giveUp();

        const auto result = device->write (data + taken, total - taken);

        if (result < 0 || (size_t) result > total - taken)
            return giveUp (result);

        if (result == 0)
        {
            if (! waitForProgress())
                return giveUp();

            continue;
        }

        taken += (size_t) result;
        lastFreeSpace = 0;
        lastProgressMs = juce::Time::getMillisecondCounter();
    }

    // Every byte is in the driver's buffer; the send is done once the device
    // has taken them all.
    for (;;)
    {
        const auto free = device->freeSpace();

        if (free < 0)
            return giveUp (free);

        if ((size_t) free >= device->bufferSize())
            break;

        if (! waitForProgress())
            return giveUp();
    }

    // Then the bytes still on their way to the device (a USB device's last
    // transfers) are waited for by the kernel's drain. It is called only on
    // an empty buffer: the drain itself would notice an unplugged device only
    // after its own 10 s, and would not look at a stop request at all.
    const auto drained = device->drain();
    return drained == 0 || giveUp (drained);
}

bool AlsaRawMidiOutputPort::waitForProgress()
{
    const auto free = device->freeSpace();

    if (free < 0)
    {
        noteError (free);
        return false;
    }

    const auto now = juce::Time::getMillisecondCounter();

    if ((size_t) free > lastFreeSpace)
    {
        lastFreeSpace = (size_t) free;
        lastProgressMs = now;
    }
    else if (now - lastProgressMs >= (juce::uint32) stallLimitMs)
    {
        return false;
    }

    if (juce::Thread::currentThreadShouldExit())
        return false;

    // With one byte left, poll would return at once (avail_min): that byte is
    // waited for with short sleeps instead.
    if ((size_t) free + 1 >= device->bufferSize())
    {
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
        return true;
    }

    if (const int error = device->waitForSpace (pollIntervalMs); error < 0)
    {
        noteError (error);
        return false;
    }

    return ! juce::Thread::currentThreadShouldExit();
}

bool AlsaRawMidiOutputPort::giveUp (long error)
{
    noteError (error);

    // A device that is gone sends nothing more; ALSA refuses to drop for it
    // and prints that on stderr, in the middle of what a script reads.
    if (! deviceGone)
        device->drop();

    return false;
}

void AlsaRawMidiOutputPort::noteError (long error)
{
    // What ALSA answers for a sound card that has been unplugged.
    if (error == -ENODEV)
        deviceGone = true;
}
