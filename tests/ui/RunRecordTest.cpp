#include "ui/RunRecord.h"
#include "ui/OutcomeLine.h"

#include <gtest/gtest.h>

#include <set>

using Ending = UpdateAttempt::Ending;

namespace
{
UpdateAttempt attemptEnding (Ending ending)
{
    UpdateAttempt attempt;
    attempt.ending = ending;
    return attempt;
}

int statusAfter (std::initializer_list<Ending> endings)
{
    RunRecord record;

    for (const auto ending : endings)
        record.record (attemptEnding (ending));

    return (int) record.getExitStatus();
}
} // namespace

TEST (RunRecord, EachWayAnUploadEndsHasItsWordAndStatus)
{
    struct Case
    {
        UploadOutcome outcome;
        const char* word;
        ExitStatus status;
    };

    const Case cases[] = {
        { UploadOutcome::completed, "completed", ExitStatus::success },
        { UploadOutcome::invalidImage, "refused-image", ExitStatus::refusedImage },
        { UploadOutcome::noOutput, "no-output", ExitStatus::noOutput },
        { UploadOutcome::sendFailed, "send-failed", ExitStatus::sendFailed },
        // The device went away under the upload: broken off like a failed send.
        { UploadOutcome::outputClosed, "send-failed", ExitStatus::sendFailed },
        { UploadOutcome::stopped, "closed", ExitStatus::closedBeforeCompletion },
        // Still running when the program went away.
        { UploadOutcome::none, "closed", ExitStatus::closedBeforeCompletion },
    };

    for (const auto& c : cases)
    {
        const auto ending = RunRecord::endingOf (c.outcome);
        EXPECT_STREQ (OutcomeLine::wordFor (ending), c.word) << (int) c.outcome;
        EXPECT_EQ (RunRecord::statusOf (ending), c.status) << (int) c.outcome;
    }
}

TEST (RunRecord, AnOutputThatDidNotOpenSaysWhy)
{
    EXPECT_EQ (RunRecord::statusOf (RunRecord::endingOf (OpenProblem::busy)), ExitStatus::outputBusy);
    EXPECT_EQ (RunRecord::statusOf (RunRecord::endingOf (OpenProblem::failed)), ExitStatus::outputNotOpened);
    EXPECT_EQ (RunRecord::statusOf (RunRecord::endingOf (OpenProblem::gone)), ExitStatus::noOutput);
    EXPECT_EQ (RunRecord::statusOf (RunRecord::endingOf (OpenProblem::none)), ExitStatus::noOutput);
}

TEST (RunRecord, OnlyACompletedUploadIsZeroAndNoTwoEndingsShareAStatus)
{
    const Ending all[] = { Ending::completed,  Ending::unusableFile,    Ending::refusedImage, Ending::noOutput,
                           Ending::outputBusy, Ending::outputNotOpened, Ending::sendFailed,   Ending::closed };
    std::set<int> statuses;
    std::set<std::string> words;

    for (const auto ending : all)
    {
        const auto status = (int) RunRecord::statusOf (ending);
        EXPECT_EQ (status == 0, ending == Ending::completed);
        // Reserved: 1 for whatever else ends a program, 2 for "no display",
        // 10 for a second instance, 11 for a MIDI service that cannot be asked.
        EXPECT_TRUE (status == 0 || (status >= 3 && status <= 9)) << status;
        statuses.insert (status);
        words.insert (OutcomeLine::wordFor (ending));
    }

    EXPECT_EQ (statuses.size(), std::size (all));
    EXPECT_EQ (words.size(), std::size (all));
}

TEST (RunRecord, TheLastAttemptOfTheRunDecides)
{
    EXPECT_EQ (statusAfter ({}), (int) ExitStatus::closedBeforeCompletion) << "nothing ever ended";
    EXPECT_EQ (statusAfter ({ Ending::completed }), 0);
    EXPECT_EQ (statusAfter ({ Ending::sendFailed, Ending::completed }), 0);
    EXPECT_EQ (statusAfter ({ Ending::completed, Ending::sendFailed }), (int) ExitStatus::sendFailed);
    EXPECT_EQ (statusAfter ({ Ending::noOutput, Ending::outputBusy }), (int) ExitStatus::outputBusy);
    EXPECT_EQ (statusAfter ({ Ending::completed, Ending::closed }), (int) ExitStatus::closedBeforeCompletion);

    RunRecord record;
    auto first = attemptEnding (Ending::sendFailed);
    first.bytesSent = 1200;
    record.record (first);
    record.record (attemptEnding (Ending::completed));
    EXPECT_EQ (record.getAttemptCount(), 2);
    ASSERT_TRUE (record.getLastAttempt().has_value());
    EXPECT_EQ (record.getLastAttempt()->ending, Ending::completed);
    EXPECT_EQ (record.getLastAttempt()->bytesSent, 0u);
}
