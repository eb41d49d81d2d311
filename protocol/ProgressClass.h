#pragma once

#include "protocol/UploadOutcome.h"

#include <juce_events/juce_events.h>

/** How far an upload has got, for the user interface: a status text, the
    fraction of the image sent in whole percent, and how the upload ended.

    Written by the upload worker and by the message thread, read by the
    panel's change callback; every value is guarded by one lock of its own, and
    a change message goes out only when a value really changes.
*/
class ProgressClass : public juce::ChangeBroadcaster
{
public:
    ProgressClass() = default;
    ~ProgressClass() override = default;

    /** Publishes the fraction sent, rounded to whole percent (halves to even).
        Only an upload with every byte sent shows 100 %: anything short of
        1.0 is published as 0.99 at most. */
    void setProgress (double fraction);

    /** The last published value: a whole percent from 0.0 to 1.0. */
    double getProgress() const;

    /** Sets the status text; listeners hear about it only if it changed. */
    void setStatusText (const juce::String& text);

    /** A copy of the last status text. */
    juce::String getStatusText() const;

    /** Publishes how the upload ended (or UploadOutcome::none when one is
        started), so the panel can make its controls usable again after an
        upload that did not reach 100 %. */
    void setUploadOutcome (UploadOutcome outcome);

    /** How the last upload ended; none while one runs and before the first. */
    UploadOutcome getUploadOutcome() const;

    /** True once the last upload has ended, however it ended. */
    bool hasUploadEnded() const { return getUploadOutcome() != UploadOutcome::none; }

    /** The whole percent that setProgress would publish for this fraction. */
    static double toPublishedValue (double fraction);

private:
    juce::CriticalSection valueLock;
    juce::String statusText;
    double progress = 0.0;
    UploadOutcome outcome = UploadOutcome::none;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProgressClass)
};
