#pragma once

#include "midi/OpenResult.h"
#include "protocol/UploadOutcome.h"
#include "ui/ExitStatus.h"
#include "ui/UpdateAttempt.h"

#include <optional>

/** What a run has tried so far, and the exit status that follows from it.

    Every attempt is recorded as it ends; the last one decides the status,
    so a failed upload followed by a completed one ends the run with 0, and
    a completed one followed by a failed one does not.
*/
class RunRecord
{
public:
    RunRecord() = default;

    /** How an upload that ended this way is reported. An upload that was
        stopped was stopped by the program's closing; an output that went
        away mid-upload broke it off just as a failed send does. */
    static UpdateAttempt::Ending endingOf (UploadOutcome outcome) noexcept;

    /** How an update that could not start is reported when the chosen
        output did not open for this reason (none: no output was chosen, or
        there is none with that number). */
    static UpdateAttempt::Ending endingOf (OpenProblem problem) noexcept;

    /** The exit status of a run whose last attempt ended this way. */
    static ExitStatus statusOf (UpdateAttempt::Ending ending) noexcept;

    /** Adds an attempt that has ended; it is the last one from now on. */
    void record (const UpdateAttempt& attempt);

    /** The last attempt recorded, if any. */
    const std::optional<UpdateAttempt>& getLastAttempt() const noexcept { return lastAttempt; }

    int getAttemptCount() const noexcept { return attemptCount; }

    /** The status for a script: the last attempt's; with none at all, the
        run was closed before anything completed. */
    ExitStatus getExitStatus() const noexcept;

private:
    std::optional<UpdateAttempt> lastAttempt;
    int attemptCount = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RunRecord)
};
