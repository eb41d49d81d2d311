#pragma once

#include "protocol/MorvaneTime.h"
#include "protocol/ProtocolBaseClass.h"

#include <atomic>

/** Streams a firmware image to the link as whole SysEx messages, with a
    minimum time from the start of one send to the start of the next.

    Before the first send the whole image is checked; an image that is not a
    gapless run of complete SysEx messages is refused and nothing is sent. A
    send that the link reports as failed, or a link that has no open output,
    ends the upload at once. Either way
    the status says so and the outcome says which, never "completed". A stop
    request reaches every wait: the pauses here, the message-manager lock and
    the link's send give up within a few tens of milliseconds.
*/
class BasicSysexProtocolClass : public ProtocolBaseClass, public MorvaneTime
{
public:
    /** Minimum time per message with fixed pacing. */
    static constexpr double fixedPacingMs = 15.0;

    /** The longest pause that is one plain sleep, which a stop request does
        not cut short; longer ones wait on the thread's event first. */
    static constexpr double longestPlainSleepMs = 20.0;

    /** The start of a send is stamped just before the link is called, a few
        microseconds before its first byte moves; this keeps the next start
        from falling short of the minimum by that much. */
    static constexpr double startStampMarginMs = 0.02;

    BasicSysexProtocolClass (InterfaceBaseClass* link, FirmwareImage* image);

    /** Stops a running upload first, waiting at most 2000 ms. */
    ~BasicSysexProtocolClass() override;

    void run() override;
    void start() override;

    /** When the worker started the send now under way (or the last one), on
        the hi-res millisecond counter: the time its pauses are measured from.
        A link may read it inside sendMessage to see the pacing as the worker
        keeps it. */
    double getCurrentSendStartMs() const noexcept { return currentSendStartMs.load(); }

    /** How many whole messages, and how many bytes, the last upload has sent
        so far (the device took them). */
    juce::uint32 getMessagesSent() const noexcept { return messagesSent.load(); }
    juce::uint64 getBytesSent() const noexcept { return bytesSent.load(); }

    /** The minimum time from this message's send to the next one's. */
    static double minimumPauseMs (juce::uint32 messageLength, bool fixedPacing) noexcept;

    /** The status texts the worker sets. */
    static const char* const uploadingText;
    static const char* const completedText;
    static const char* const sendFailedText;
    static const char* const noOutputText;
    static const char* const outputClosedText;
    static juce::String invalidImageText (const juce::String& problem);

private:
    /** Waits until the hi-res millisecond counter reaches deadlineMs, never
        less; returns early only when the thread is asked to stop. */
    void waitUntil (double deadlineMs);

    /** Sleeps for ms at most (less by the system's wake-up latency). */
    static void sleepAtMost (double ms);

    /** Disables the link for the next send, under the message-manager lock;
        unless evenIfDisabled, only when it has been enabled meanwhile. False
        when the lock could not be had because the thread is asked to stop. */
    bool disableLink (bool evenIfDisabled);

    /** Ends an upload that did not complete: tells the user why, and makes the
        link usable again. */
    void endWithoutCompletion (UploadOutcome howItEnded, const juce::String& status);

    /** Leaves an upload that was asked to stop: none of the completion steps,
        only the record of how it ended. */
    void stopHere();

    bool setLinkEnabled (bool shouldBeEnabled);

    double uploadProgress = 0.0;
    const juce::uint8* readPosition = nullptr;
    juce::uint32 messageStartTime = 0;
    std::atomic<double> currentSendStartMs { 0.0 };
    std::atomic<juce::uint32> messagesSent { 0 };
    std::atomic<juce::uint64> bytesSent { 0 };
    juce::CriticalSection progressLock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BasicSysexProtocolClass)
};
