#include "protocol/BasicSysexProtocolClass.h"

#include "protocol/AutoUpdateFlag.h"
#include "protocol/SysexImageCheck.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <chrono>
#include <thread>

#if JUCE_LINUX
    #include <sys/prctl.h>
#endif

const char* const BasicSysexProtocolClass::uploadingText = "Uploading firmware";
const char* const BasicSysexProtocolClass::completedText = "Update completed";
const char* const BasicSysexProtocolClass::noOutputText = "No output device is open, nothing was sent";
const char* const BasicSysexProtocolClass::outputClosedText = "Update failed: the output was closed during the update";
const char* const BasicSysexProtocolClass::sendFailedText = "Update failed: the pedal stopped taking data";

juce::String BasicSysexProtocolClass::invalidImageText (const juce::String& problem)
{
    return "Invalid firmware file, nothing was sent (" + problem + ")";
}

BasicSysexProtocolClass::BasicSysexProtocolClass (InterfaceBaseClass* linkToUse, FirmwareImage* imageToUse)
    : ProtocolBaseClass (linkToUse, imageToUse)
{
}

BasicSysexProtocolClass::~BasicSysexProtocolClass() { stopThread (2000); }

double BasicSysexProtocolClass::minimumPauseMs (juce::uint32 messageLength, bool fixedPacing) noexcept
{
    return fixedPacing ? fixedPacingMs : (double) (messageLength / 3 + 10);
}

void BasicSysexProtocolClass::start()
{
    // A worker that has published its end only has to return: the next
    // upload must not be lost in that moment.
    if (hasUploadEnded())
        waitForThreadToExit (1000);

    if (! isThreadRunning())
    {
        {
            const juce::ScopedLock sl (progressLock);
            uploadProgress = 0.0;
            messagesSent = 0;
            bytesSent = 0;
            setUploadOutcome (UploadOutcome::none);
            setProgress (0.0);
        }

        startThread();
        return;
    }

    const juce::ScopedLock sl (progressLock);

    if (uploadProgress == 1.0)
    {
        uploadProgress = 0.0;
        setProgress (0.0);
    }
}

void BasicSysexProtocolClass::run()
{
    const auto* const imageStart = image->data;
    const auto total = (juce::uint64) juce::jmax ((juce::int64) 0, image->size);
    const auto* const imageEnd = imageStart + total;

    readPosition = imageStart;

#if JUCE_LINUX
    // Linux may let a sleep run up to 50 us long to batch wake-ups; over 494
    // pauses that adds up, and the pauses are what the upload's length is made of.
    prctl (PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif

    const auto imageCheck = SysexImageCheck::check (imageStart, total);

    if (! imageCheck.valid)
    {
        endWithoutCompletion (UploadOutcome::invalidImage, invalidImageText (imageCheck.problem));
        return;
    }

    setStatusText (uploadingText);

    juce::uint64 bytesDone = 0;
    const auto* messageStart = readPosition;
    double localProgress;

    // When the next message may start at the earliest.
    double nextSendAllowedMs = 0.0;

    {
        const juce::ScopedLock sl (progressLock);
        localProgress = uploadProgress;
    }

    while (localProgress != 1.0)
    {
        if (threadShouldExit())
            return stopHere();

        // Keeps the user from changing the port while a message is under way.
        // The first message always waits for the message thread: a port chosen
        // just before the start (an automatic update) is opened there first.
        // After that the lock is taken only when something enabled the link
        // again: it waits for whatever the message thread is doing (a repaint
        // under Wine takes tens of milliseconds), and every message paid that.
        if (! disableLink (bytesDone == 0))
            return stopHere();

        // Bytes sent nowhere must not end in "Update completed".
        const bool outputOpen = link->isReady();

        if (! outputOpen)
        {
            if (bytesDone == 0)
                endWithoutCompletion (UploadOutcome::noOutput, noOutputText);
            else
                endWithoutCompletion (UploadOutcome::outputClosed, outputClosedText);

            return;
        }

        // The image check guarantees an F0 here and an F7 before the end.
        juce::uint32 length = 0;

        while (readPosition < imageEnd)
        {
            ++length;

            if (*readPosition++ == 0xF7)
                break;
        }

        // The whole pause between two messages is this one wait, taken once
        // the link is checked and the message found, so that work lies
        // inside it. Every wake-up from a sleep comes late by the system's
        // timer latency: a pause made of several sleeps pays it each time.
        waitUntil (nextSendAllowedMs);

        if (threadShouldExit())
            return stopHere();

        // Enabled again during the pause: rare, and put right before the send.
        if (! disableLink (false))
            return stopHere();

        messageStartTime = juce::Time::getMillisecondCounter();
        const auto sendStartMs = juce::Time::getMillisecondCounterHiRes();
        currentSendStartMs = sendStartMs;

        if (link->sendMessage (messageStart, (int) length) != InterfaceBaseClass::sendOk)
        {
            // A send that was cut short by a stop request is no device fault.
            if (threadShouldExit())
                return stopHere();

            endWithoutCompletion (UploadOutcome::sendFailed, sendFailedText);
            return;
        }

        ++messagesSent;
        bytesSent += length;

        const auto minimumMs = minimumPauseMs (length, image->fixedPacing);
        nextSendAllowedMs = sendStartMs + minimumMs + startStampMarginMs;

        // The last message has its pause too before the upload counts as done.
        if (readPosition == imageEnd)
            waitUntil (sendStartMs + minimumMs);

        bytesDone += length;
        messageStart = readPosition;
        localProgress = (double) bytesDone / (double) total;

        setProgress (localProgress);

        const juce::ScopedLock sl (progressLock);
        uploadProgress = localProgress;
    }

    if (threadShouldExit())
        return stopHere();

    setStatusText (completedText);
    readPosition = imageStart;

    if (! setLinkEnabled (true))
        return stopHere();

    setUploadOutcome (UploadOutcome::completed);

    if (AutoUpdateFlag::isSet())
        if (auto* app = juce::JUCEApplicationBase::getInstance())
            app->systemRequestedQuit();
}

void BasicSysexProtocolClass::waitUntil (double deadlineMs)
{
    for (;;)
    {
        const auto remainingMs = deadlineMs - juce::Time::getMillisecondCounterHiRes();

        if (remainingMs <= 0.0 || threadShouldExit())
            return;

        // A long pause sleeps on the thread's event, which a stop request
        // wakes; what is left, short enough to hold up a stop request, is one
        // sleep to the deadline. A pause must never end early.
        if (remainingMs > longestPlainSleepMs)
            wait ((int) (remainingMs - longestPlainSleepMs / 2));
        else
            sleepAtMost (remainingMs);
    }
}

void BasicSysexProtocolClass::sleepAtMost (double ms)
{
#if JUCE_WINDOWS
    // Windows sleeps in whole milliseconds and may add one: it sleeps to
    // within 2 ms of the deadline, and yields the rest.
    if (ms > 2.0)
        juce::Thread::sleep ((int) (ms - 1.0));
    else
        juce::Thread::yield();
#else
    std::this_thread::sleep_for (std::chrono::microseconds ((juce::int64) (ms * 1000.0) + 1));
#endif
}

bool BasicSysexProtocolClass::disableLink (bool evenIfDisabled)
{
    if (! evenIfDisabled && ! link->isEnabledOnAnyThread())
        return true;

    const juce::MessageManagerLock mml (this);

    if (! mml.lockWasGained())
        return false;

    link->setEnabled (false);
    return true;
}

void BasicSysexProtocolClass::endWithoutCompletion (UploadOutcome howItEnded, const juce::String& status)
{
    {
        const juce::ScopedLock sl (progressLock);
        uploadProgress = 0.0;
    }

    setStatusText (status);
    setProgress (0.0);
    readPosition = image->data;

    setLinkEnabled (true);
    setUploadOutcome (howItEnded);
}

void BasicSysexProtocolClass::stopHere() { setUploadOutcome (UploadOutcome::stopped); }

bool BasicSysexProtocolClass::setLinkEnabled (bool shouldBeEnabled)
{
    const juce::MessageManagerLock mml (this);

    if (! mml.lockWasGained())
        return false;

    link->setEnabled (shouldBeEnabled);
    return true;
}
