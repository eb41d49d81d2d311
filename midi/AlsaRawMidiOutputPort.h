#pragma once

#include "midi/MidiOutputPort.h"
#include "midi/RawMidiDevice.h"

#include <memory>

/** A sound card's MIDI output (Linux only), written through its rawmidi
    device instead of the ALSA sequencer.

    JUCE sends through the sequencer, whose bridge to a card's MIDI port (the
    kernel's snd-seq-midi) keeps a 4 KiB buffer, drops whatever does not fit
    and tells nobody. A pedal that reads slower than the updater sends then
    gets damaged messages while the upload ends in "Update completed". The
    rawmidi device pushes back instead: a send here hands over every byte,
    waiting while the device is busy, then waits until the device has taken
    them all. The time that takes counts toward the upload's pause, as it does
    on Windows.

    A send gives up, and returns false, when the device reports an error or is
    unplugged, when it takes nothing for the stall limit, or when the sending
    juce::Thread is asked to exit; each is noticed within pollIntervalMs.
    What the driver still holds of a message given up is dropped, so no cut
    message reaches the device later (unless the device is gone). A port whose device was unplugged is
    closed in the background, as the kernel would hold the closing thread.
*/
class AlsaRawMidiOutputPort : public MidiOutputPort
{
public:
    /** Longest time a send waits for the device to take another byte before it
        counts as failed; the kernel's own drain gives up after the same time. */
    static constexpr int defaultStallLimitMs = 10000;

    /** The longest a send goes without looking at the device, its stall limit
        and a stop request. */
    static constexpr int pollIntervalMs = 20;

    /** A port that sends to this open device. */
    explicit AlsaRawMidiOutputPort (std::unique_ptr<RawMidiDevice> device, int stallLimitMs = defaultStallLimitMs);

    ~AlsaRawMidiOutputPort() override;

    /** Writes all bytes, then waits until the device has taken them: true, or
        false when the send was given up (see the class description). */
    bool sendMessageNow (const juce::uint8* data, int numBytes) override;

private:
    /** Waits a little for the device to take bytes; false when the send must be
        given up. Counts as progress any growth of the free space since the
        last look. */
    bool waitForProgress();

    /** Drops what the driver holds and reports the send as failed; error is
        what the device answered, when it answered an error. */
    bool giveUp (long error = 0);

    /** Remembers an error that means the device is gone for good. */
    void noteError (long error);

    std::unique_ptr<RawMidiDevice> device;
    const int stallLimitMs;
    size_t lastFreeSpace = 0;
    juce::uint32 lastProgressMs = 0;
    bool deviceGone = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlsaRawMidiOutputPort)
};
