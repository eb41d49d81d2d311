#pragma once

#include <juce_events/juce_events.h>

/** How far an upload has got, for the user interface: a status text, the
    fraction of the image sent in whole percent, and whether the upload has
    ended (completed, refused or failed).

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

    /** Publishes whether the upload has come to an end, so the panel can make
        its controls usable again after an upload that did not reach 100 %. */
    void setUploadEnded (bool hasEnded);

    /** True after an upload has completed, been refused or failed; false from
        the moment an upload is started. */
    bool hasUploadEnded() const;

    /** The whole percent that setProgress would publish for this fraction. */
    static double toPublishedValue (double fraction);

private:
    void broadcastUnderMessageManagerLock();

    juce::CriticalSection valueLock;
    juce::String statusText;
    double progress = 0.0;
    bool uploadEnded = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProgressClass)
};
