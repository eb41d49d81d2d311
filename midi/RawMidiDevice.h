#pragma once

#include <juce_core/juce_core.h>

/** The few things AlsaRawMidiOutputPort asks of a rawmidi output device: the
    real one is AlsaRawMidiDevice, and tests put a device of their own (one
    that never takes data, or is unplugged at a chosen moment) under the
    port's real waiting code. Every call returns at once, except waitForSpace
    and drain, which are bounded. */
class RawMidiDevice
{
public:
    virtual ~RawMidiDevice() = default;

    /** Hands bytes to the driver without waiting: how many it took (0 when its
        buffer is full), or a negative errno. */
    virtual long write (const juce::uint8* data, size_t count) = 0;

    /** How many bytes of the driver's buffer are free now, or a negative errno
        (-ENODEV once the device has been unplugged). */
    virtual long freeSpace() = 0;

    /** The size of the driver's buffer: freeSpace() reaches it once the device
        has taken everything. */
    virtual size_t bufferSize() const = 0;

    /** Waits at most timeoutMs, returning early when the driver has taken all
        but one byte of its buffer: 0, or a negative errno when the device
        reported an error (-ENODEV when it hung up). A return of 0 alone says
        nothing about progress. */
    virtual int waitForSpace (int timeoutMs) = 0;

    /** Waits for the bytes that left the buffer to leave the driver too (a USB
        device's last transfers); 0 or a negative errno. Called only once the
        buffer is empty, when it takes at most tens of milliseconds. */
    virtual int drain() = 0;

    /** Throws away whatever the driver still holds, so that none of it reaches
        the device later. */
    virtual void drop() = 0;
};
