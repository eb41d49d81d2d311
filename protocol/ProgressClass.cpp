#include "protocol/ProgressClass.h"

#include <cmath>

double ProgressClass::toPublishedValue (double fraction)
{
    if (! (fraction > 0.0)) // also catches NaN
        return 0.0;

    if (fraction >= 1.0)
        return 1.0;

    // nearbyint rounds halves to even in the default rounding mode.
    const auto percent = juce::jmin (99.0, std::nearbyint (fraction * 100.0));
    return percent / 100.0;
}

void ProgressClass::setProgress (double fraction)
{
    const auto newValue = toPublishedValue (fraction);

    {
        const juce::ScopedLock sl (valueLock);

        if (newValue == progress)
            return;

        progress = newValue;
    }

    broadcastUnderMessageManagerLock();
}

double ProgressClass::getProgress() const
{
    const juce::ScopedLock sl (valueLock);
    return progress;
}

void ProgressClass::setStatusText (const juce::String& text)
{
    {
        const juce::ScopedLock sl (valueLock);

        if (text == statusText)
            return;

        statusText = text;
    }

    sendChangeMessage();
}

juce::String ProgressClass::getStatusText() const
{
    const juce::ScopedLock sl (valueLock);
    return statusText;
}

void ProgressClass::setUploadEnded (bool hasEnded)
{
    {
        const juce::ScopedLock sl (valueLock);

        if (hasEnded == uploadEnded)
            return;

        uploadEnded = hasEnded;
    }

    sendChangeMessage();
}

bool ProgressClass::hasUploadEnded() const
{
    const juce::ScopedLock sl (valueLock);
    return uploadEnded;
}

void ProgressClass::broadcastUnderMessageManagerLock()
{
    // The worker waits here until the message thread is between events, so a
    // percentage is never published in the middle of the panel's own work.
    // The request gives up when the calling thread is asked to stop, so a
    // close or destruction never waits on it.
    const juce::MessageManagerLock mml (juce::Thread::getCurrentThread());
    sendChangeMessage();
}
