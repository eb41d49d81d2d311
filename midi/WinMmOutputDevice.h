#pragma once

#include <juce_core/juce_core.h>

/** The few things WinMmMidiOutputPort asks of an open WinMM MIDI output: the
    real one is WinMmSystemOutputDevice (Windows only), and tests put a device
    of their own (one that never returns a message, or fails a call) under the
    port's real waiting code. Destroying it closes the device. Every call
    returns at once, except waitForDone, which is bounded.

    One message at a time: startMessage hands a copy of the bytes to the
    driver, which keeps it until it reports the message done; finishMessage
    then takes it back. The device owns that copy, so a driver that never lets
    go of it cannot reach memory that the caller has freed. */
class WinMmOutputDevice
{
public:
    /** What finishMessage answers. */
    enum class FinishResult
    {
        finished, ///< the driver has let go of the message
        stillPlaying, ///< the driver still holds it: try again later
        failed ///< any other error: the message cannot be taken back
    };

    virtual ~WinMmOutputDevice() = default;

    /** Prepares a header over the bytes and queues it (midiOutPrepareHeader,
        midiOutLongMsg). 0, or the error code; after an error nothing of the
        message is left with the driver. */
    virtual int startMessage (const juce::uint8* data, int numBytes) = 0;

    /** True once the driver has returned the queued message (MHDR_DONE). */
    virtual bool messageDone() = 0;

    /** Waits at most timeoutMs, returning early when the driver reports a
        message done. Says nothing by itself: ask messageDone. */
    virtual void waitForDone (int timeoutMs) = 0;

    /** Asks the driver to stop and return every queued message at once
        (midiOutReset). The driver then also sends "all sound off" or
        note-offs on every channel, so this is only for a message given up. */
    virtual void reset() = 0;

    /** Takes the message back from the driver (midiOutUnprepareHeader). */
    virtual FinishResult finishMessage() = 0;
};
