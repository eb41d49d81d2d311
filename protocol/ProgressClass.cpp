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

    // Not under the message-manager lock: the callback comes later on the
    // message thread either way, and the lock made the worker wait for
    // whatever the message thread was doing at every percent (up to a quarter
    // of a second under Wine), between two messages.
    sendChangeMessage();
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

void ProgressClass::setUploadOutcome (UploadOutcome newOutcome)
{
    {
        const juce::ScopedLock sl (valueLock);

        if (newOutcome == outcome)
            return;

        outcome = newOutcome;
    }

    sendChangeMessage();
}

UploadOutcome ProgressClass::getUploadOutcome() const
{
    const juce::ScopedLock sl (valueLock);
    return outcome;
}
