#pragma once

#include "midi/MidiOutputPort.h"
#include "midi/WinMmOutputDevice.h"

#include <memory>

/** A MIDI output written through WinMM's own calls (the Windows build's
    port), instead of JUCE's.

    JUCE's Windows send waits for the driver to return a SysEx message in a
    loop with no limit and no way to stop it: a pedal that stops taking data
    would hold the upload thread for good, and the close of the window would
    end in a killed thread. Here a send waits for the driver's done signal in
    slices of pollIntervalMs, and gives up, returning false, when the sending
    juce::Thread is asked to exit or the message is not done within the stall
    limit. A message given up is called back from the driver (midiOutReset),
    so nothing of it goes out later. The time the driver takes counts toward
    the upload's pause, as on Linux.

    A message that the driver never lets go of leaves the port unusable: every
    later send fails at once, and the device is not handed another.
*/
class WinMmMidiOutputPort : public MidiOutputPort
{
public:
    /** Longest time one message may take before the send counts as failed:
        a 599-byte message takes under 0.2 s at MIDI's 31,250 baud. */
    static constexpr int defaultStallLimitMs = 10000;

    /** The longest a send goes without looking at a stop request. */
    static constexpr int pollIntervalMs = 20;

    /** How long the driver may take to let go of a message that is done or
        reset. A reset returns queued messages before it returns itself, so
        this is only for drivers that misbehave; twice this, plus a poll,
        keeps a stop within 100 ms. */
    static constexpr int letGoLimitMs = 40;

    /** A port that sends to this open device. */
    explicit WinMmMidiOutputPort (std::unique_ptr<WinMmOutputDevice> device, int stallLimitMs = defaultStallLimitMs);

    /** Queues the whole message, then waits until the driver has sent it: true,
        or false when the send failed or was given up (see the class
        description). */
    bool sendMessageNow (const juce::uint8* data, int numBytes) override;

private:
    /** Calls back a message that is still queued, and takes it back. */
    void giveUp();

    /** Takes the finished message back; false when the driver keeps it. */
    bool finish();

    std::unique_ptr<WinMmOutputDevice> device;
    const int stallLimitMs;
    bool deviceHoldsBuffer = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WinMmMidiOutputPort)
};
