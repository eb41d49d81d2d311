#include "ui/RunRecord.h"

using Ending = UpdateAttempt::Ending;

Ending RunRecord::endingOf (UploadOutcome outcome) noexcept
{
    switch (outcome)
    {
        case UploadOutcome::completed:
            return Ending::completed;
        case UploadOutcome::invalidImage:
            return Ending::refusedImage;
        case UploadOutcome::noOutput:
            return Ending::noOutput;
        case UploadOutcome::outputClosed:
        case UploadOutcome::sendFailed:
            return Ending::sendFailed;
        case UploadOutcome::stopped:
        case UploadOutcome::none:
            break;
    }

    // An upload without an ending of its own is one the program cut short.
    return Ending::closed;
}

Ending RunRecord::endingOf (OpenProblem problem) noexcept
{
    switch (problem)
    {
        case OpenProblem::busy:
            return Ending::outputBusy;
        case OpenProblem::failed:
            return Ending::outputNotOpened;
        case OpenProblem::gone:
        case OpenProblem::none:
            break;
    }

    return Ending::noOutput;
}

ExitStatus RunRecord::statusOf (Ending ending) noexcept
{
    switch (ending)
    {
        case Ending::completed:
            return ExitStatus::success;
        case Ending::unusableFile:
            return ExitStatus::unusableFile;
        case Ending::refusedImage:
            return ExitStatus::refusedImage;
        case Ending::noOutput:
            return ExitStatus::noOutput;
        case Ending::outputBusy:
            return ExitStatus::outputBusy;
        case Ending::outputNotOpened:
            return ExitStatus::outputNotOpened;
        case Ending::sendFailed:
            return ExitStatus::sendFailed;
        case Ending::closed:
            break;
    }

    return ExitStatus::closedBeforeCompletion;
}

void RunRecord::record (const UpdateAttempt& attempt)
{
    lastAttempt = attempt;
    ++attemptCount;
}

ExitStatus RunRecord::getExitStatus() const noexcept
{
    return lastAttempt.has_value() ? statusOf (lastAttempt->ending) : ExitStatus::closedBeforeCompletion;
}
