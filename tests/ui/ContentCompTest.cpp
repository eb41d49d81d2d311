#include "ui/ContentComp.h"
#include "TestHelpers.h"
#include "protocol/AutoUpdateFlag.h"

#include "ui/CommandLineOptions.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{
/** `sha256sum firmware/data/NimboDelay-1.0.01-R473.syx` */
const char* const builtInSha256 = "cc1cb2edfda31c2787dee5a17983d795b7c1857b4ac3b5d5df9c8a52886fadcb";

/** The outcome lines a panel printed, each with the number of boxes shown
    before it. */
struct LineLog
{
    struct Entry
    {
        juce::String line;
        size_t boxesBefore;
    };

    std::vector<Entry> entries;
};

OutcomeLine::Sink lineRecorder (LineLog& lines, AlertLog& alerts)
{
    return [&lines, &alerts] (const juce::String& line) { lines.entries.push_back ({ line, alerts.entries.size() }); };
}

struct Panel
{
    explicit Panel (const juce::String& commandLine, juce::StringArray portNames = { "A", "B" },
                    std::function<void (FakePortDirectory&)> prepare = {})
    {
        auto directory = std::make_unique<FakePortDirectory> (portNames, log);

        if (prepare)
            prepare (*directory);

        panel = std::make_unique<ContentComp> (commandLine, std::move (directory), alerts.recorder(),
                                               lineRecorder (lines, alerts));
        panel->setSize (650, 374);
    }

    ~Panel() { AutoUpdateFlag::set (false); }

    void settle() { pumpFor (60); }

    juce::TextButton& update() { return panel->getUpdateButton(); }
    juce::Colour updateColour() { return update().findColour (juce::TextButton::buttonColourId); }

    /** The only line printed so far, which must have come before any box. */
    juce::String onlyLine()
    {
        EXPECT_EQ (lines.entries.size(), 1u);

        if (lines.entries.empty())
            return {};

        EXPECT_EQ (lines.entries[0].boxesBefore, 0u) << "printed before the box that waits for the user";
        return lines.entries[0].line;
    }

    std::shared_ptr<PortLog> log = std::make_shared<PortLog>();
    AlertLog alerts;
    LineLog lines;
    std::unique_ptr<ContentComp> panel;
};

struct TempImage
{
    explicit TempImage (const std::vector<juce::uint8>& bytes, const char* name = "Other Pedal.syx")
    {
        file = dir.getFile().getChildFile (name);
        dir.getFile().createDirectory();
        file.replaceWithData (bytes.data(), bytes.size());
    }

    ~TempImage() { dir.getFile().deleteRecursively(); }

    juce::TemporaryFile dir;
    juce::File file;
};
} // namespace

TEST (Panel, DescribesTheBuiltInImageAndLaysOutTheRows)
{
    Panel p ("");
    auto& image = p.panel->getFirmwareImage();
    EXPECT_EQ (image.getName(), "Tremoran Roduza Delay");
    EXPECT_TRUE (image.fixedPacing);
    EXPECT_EQ (p.panel->getDescriptionLabel().getText(),
               "This software updater will update your Tremoran Roduza Delay firmware to version 1.0.01 - R473");
    EXPECT_EQ (ContentComp::titleFor (image), "Tremoran Roduza Delay version 1.0.01 - R473");
    EXPECT_EQ (p.panel->getStep1Label().getText(), "STEP1");
    EXPECT_EQ (p.panel->getStep2Label().getText(), "STEP2");
    EXPECT_EQ (p.update().getButtonText(), "update");
    EXPECT_EQ (p.update().getTooltip(), "click here to update the product");
    EXPECT_EQ (p.panel->getHelpButton().getTooltip(), "click here to get help");
    EXPECT_EQ (p.panel->getHelpButton().findColour (juce::TextButton::buttonColourId), juce::Colour (0xffeff2f3));
    EXPECT_EQ (p.panel->getProgressBar().findColour (juce::ProgressBar::backgroundColourId), juce::Colours::white);

    using R = juce::Rectangle<int>;
    EXPECT_EQ (p.panel->getDescriptionLabel().getBounds(), R (10, 15, 630, 50));
    EXPECT_EQ (p.panel->getHelpButton().getBounds(), R (546, 70, 94, 30));
    EXPECT_EQ (p.panel->getStep1Label().getBounds(), R (10, 70, 630, 30));
    EXPECT_EQ (p.panel->getMidiInterface().getBounds(), R (10, 105, 630, 50));
    EXPECT_EQ (p.panel->getStep2Label().getBounds(), R (10, 165, 630, 30));
    EXPECT_EQ (p.update().getBounds(), R (546, 215, 94, 30));
    EXPECT_EQ (p.panel->getProgressBar().getBounds(), R (10, 215, 536, 30));
    EXPECT_EQ (p.panel->getProgressLabel().getBottom(), 215) << "caption sits right above the bar";
    EXPECT_EQ (p.panel->getHelpWindow().getBounds().getWidth(), 550);
    EXPECT_EQ (p.panel->getHelpWindow().getBounds().getHeight(), 400);
}

TEST (Panel, UpdateButtonFollowsTheLinkWithItsTwoColours)
{
    EXPECT_EQ (ContentComp::readyColour.getARGB(), 0xff7ebf7eu);
    EXPECT_EQ (ContentComp::notReadyColour.getARGB(), 0xffff7e7eu);

    Panel p ("");
    p.settle();
    EXPECT_FALSE (p.update().isEnabled());
    EXPECT_EQ (p.updateColour(), ContentComp::notReadyColour);

    p.panel->getMidiInterface().getOutputSelector().setSelectedId (2);
    p.settle();
    EXPECT_TRUE (p.update().isEnabled());
    EXPECT_EQ (p.updateColour(), ContentComp::readyColour);

    p.panel->getMidiInterface().getOutputSelector().setSelectedId (3);
    p.settle();
    EXPECT_FALSE (p.update().isEnabled());
    EXPECT_EQ (p.updateColour(), ContentComp::notReadyColour);
}

TEST (Panel, UpdateWithoutAPortWarnsAndStartsNothing)
{
    Panel p ("");
    p.settle();
    p.panel->buttonClicked (&p.update());

    ASSERT_EQ (p.alerts.entries.size(), 1u);
    EXPECT_EQ (p.alerts.entries[0].icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ (p.alerts.entries[0].title, "");
    EXPECT_EQ (p.alerts.entries[0].message, "Please select an output device:");
    EXPECT_FALSE (p.panel->getProtocol()->isThreadRunning());
}

TEST (Panel, ControlsStayLockedForTheWholeUploadWhateverTheLinkBroadcasts)
{
    // 60 short messages: about 0.9 s of upload.
    TempImage image (makeImage (std::vector<int> (60, 20)));
    Panel p ("--file " + image.file.getFullPathName());
    p.settle();
    auto& link = p.panel->getMidiInterface();
    EXPECT_EQ (p.panel->getProgressLabel().getText(), "Update progress:");

    link.getOutputSelector().setSelectedId (1);
    p.settle();
    ASSERT_TRUE (p.update().isEnabled());
    p.panel->buttonClicked (&p.update());
    ASSERT_TRUE (pumpUntil ([&] { return p.panel->getProgressValue() > 0.1; }));

    // A link broadcast, and a press of the (disabled) button from code, while
    // the upload runs: nothing is unlocked, the bar is not reset.
    link.sendChangeMessage();
    p.settle();
    EXPECT_FALSE (p.update().isEnabled());
    EXPECT_FALSE (link.isEnabled());
    const auto progressBefore = p.panel->getProgressValue();
    p.panel->buttonClicked (&p.update());
    EXPECT_GE (p.panel->getProgressValue(), progressBefore);
    EXPECT_TRUE (p.panel->isUploadRunning());
    EXPECT_EQ (p.panel->getProgressLabel().getText(), "Update progress: Uploading firmware");

    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    EXPECT_TRUE (p.update().isEnabled());
    EXPECT_TRUE (link.isEnabled());
    EXPECT_EQ (p.panel->getProgressValue(), 1.0);
    EXPECT_EQ (p.panel->getProgressLabel().getText(), "Update progress: Update completed");
    EXPECT_EQ (p.log->getMessages().size(), 60u) << "sent once, not restarted";
}

TEST (Panel, ABusyOrVanishedOutputGetsItsOwnBoxAndNothingElse)
{
    for (const auto problem : { OpenProblem::busy, OpenProblem::gone, OpenProblem::failed })
    {
        auto log = std::make_shared<PortLog>();
        auto ports = std::make_unique<FakePortDirectory> (juce::StringArray { "A", "Pedal" }, log);
        ports->openProblems["Pedal"] = problem;
        AlertLog alerts;
        ContentComp panel ("", std::move (ports), alerts.recorder());
        pumpFor (60);

        panel.getMidiInterface().getOutputSelector().setSelectedId (2);
        pumpFor (60);
        ASSERT_EQ (alerts.entries.size(), 1u);
        EXPECT_EQ (alerts.entries[0].icon, juce::MessageBoxIconType::WarningIcon);
        EXPECT_TRUE (alerts.entries[0].message.startsWith ("\"Pedal\" ")) << alerts.entries[0].message;
        EXPECT_EQ (panel.getMidiInterface().getOutputSelector().getText(), "(Disconnected)");
        EXPECT_FALSE (panel.getUpdateButton().isEnabled());
        EXPECT_EQ (panel.getUpdateButton().findColour (juce::TextButton::buttonColourId), ContentComp::notReadyColour);

        const auto expectedTitle = problem == OpenProblem::busy   ? "MIDI output in use"
                                   : problem == OpenProblem::gone ? "MIDI output not found"
                                                                  : "MIDI output cannot be opened";
        EXPECT_EQ (alerts.entries[0].title, expectedTitle);

        if (problem == OpenProblem::busy)
            EXPECT_TRUE (alerts.entries[0].message.contains ("quit any MIDI related application"));
        else
            EXPECT_TRUE (alerts.entries[0].message.contains ("leftmost footswitch"));
    }

    // Auto-update to a busy pedal: that box, and not the one asking for an output.
    auto log = std::make_shared<PortLog>();
    auto ports = std::make_unique<FakePortDirectory> (juce::StringArray { "A", "Pedal" }, log);
    ports->openProblems["Pedal"] = OpenProblem::busy;
    AlertLog alerts;
    LineLog lines;
    auto panel = std::make_unique<ContentComp> ("--autoupdate --outputid 2", std::move (ports), alerts.recorder(),
                                                lineRecorder (lines, alerts));
    pumpFor (100);
    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].title, "MIDI output in use");
    EXPECT_FALSE (panel->getProtocol()->isThreadRunning());
    EXPECT_TRUE (log->getMessages().empty());
    ASSERT_EQ (lines.entries.size(), 1u);
    EXPECT_EQ (lines.entries[0].boxesBefore, 0u);
    EXPECT_TRUE (lines.entries[0].line.contains (" outcome=output-busy status=6 image=\"Tremoran Roduza Delay\" "))
        << lines.entries[0].line;
    EXPECT_TRUE (lines.entries[0].line.contains (" output=2 output_name=\"Pedal\" messages=0 bytes=0"))
        << lines.entries[0].line;
    EXPECT_EQ (panel->endRun(), ExitStatus::outputBusy);
    panel.reset();
    AutoUpdateFlag::set (false);
}

TEST (Panel, AFailedSendShowsWhatToDoAndLeavesNoDeadPortChosen)
{
    TempImage image (makeImage (std::vector<int> (60, 20)));
    Panel p ("--file " + image.file.getFullPathName());
    p.settle();
    p.panel->getMidiInterface().getOutputSelector().setSelectedId (2);
    p.settle();
    p.panel->buttonClicked (&p.update());
    ASSERT_TRUE (pumpUntil ([&] { return p.log->getMessages().size() >= 5; }));

    p.log->sendsFail = true;
    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    p.settle();

    EXPECT_EQ (p.panel->getProgressLabel().getText(),
               "Update progress: " + juce::String (BasicSysexProtocolClass::sendFailedText));
    EXPECT_TRUE (p.panel->getAdviceLabel().getText().contains ("leftmost footswitch"));
    EXPECT_EQ (p.panel->getMidiInterface().getOutputSelector().getText(), "(Disconnected)");
    EXPECT_FALSE (p.panel->getMidiInterface().isReady());
    EXPECT_FALSE (p.update().isEnabled());
    EXPECT_EQ (p.updateColour(), ContentComp::notReadyColour);
    EXPECT_TRUE (p.panel->getMidiInterface().isEnabled()) << "the user can choose the pedal again";
    EXPECT_EQ (p.log->openPorts, 0);

    // Chosen again after a replug, it takes the whole image from its first byte.
    p.log->sendsFail = false;
    const auto sentBefore = p.log->getMessages().size();
    p.panel->getMidiInterface().getOutputSelector().setSelectedId (2);
    p.settle();
    p.panel->buttonClicked (&p.update());
    EXPECT_TRUE (p.panel->getAdviceLabel().getText().isEmpty());
    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    EXPECT_EQ (p.log->getMessages().size(), sentBefore + 60);
    EXPECT_EQ (p.log->getMessages()[sentBefore], p.log->getMessages().front());
}

TEST (Panel, AutoUpdateSelectsTheOutputAndStartsAtOnce)
{
    Panel p ("--autoupdate --outputid 2");
    EXPECT_TRUE (AutoUpdateFlag::isSet());
    EXPECT_TRUE (p.panel->getProtocol()->isThreadRunning()) << "started during construction";
    EXPECT_FALSE (p.update().isEnabled());

    ASSERT_TRUE (pumpUntil ([&] { return p.log->getMessages().size() >= 3; }));
    for (const auto& e : p.log->getEvents())
        EXPECT_FALSE (e.startsWith ("send 0")) << "only output 2 (list position 1) is used";

    p.panel.reset(); // mid-upload: the worker must be stopped before the link goes
    EXPECT_LT (p.log->getMessages().size(), 495u);
    EXPECT_EQ (p.log->openPorts, 0);
}

TEST (Panel, AutoUpdateWithAMissingOutputWarnsAndSendsNothing)
{
    Panel p ("--autoupdate --outputid 5");
    ASSERT_EQ (p.alerts.entries.size(), 1u);
    EXPECT_EQ (p.alerts.entries[0].message, "Please select an output device:");
    EXPECT_FALSE (p.panel->getProtocol()->isThreadRunning());
    p.settle();
    EXPECT_TRUE (p.log->getMessages().empty());

    const auto line = p.onlyLine();
    EXPECT_TRUE (line.startsWith ("NimboSwUpdater: outcome=no-output status=5 ")) << line;
    EXPECT_TRUE (line.contains (" output=5 output_name=- messages=0 bytes=0")) << line;
    EXPECT_EQ (p.panel->endRun(), ExitStatus::noOutput);
    EXPECT_EQ (p.lines.entries.size(), 1u) << "closing an idle window adds no line";
}

TEST (Panel, AutoUpdateClosedMidUploadEndsAsClosedWithTheChecksumOfWhatWasSent)
{
    Panel p ("--autoupdate --outputid 2");
    ASSERT_TRUE (pumpUntil ([&] { return p.log->getMessages().size() >= 3; }));
    EXPECT_TRUE (p.lines.entries.empty()) << "nothing has ended yet";

    EXPECT_EQ (p.panel->endRun(), ExitStatus::closedBeforeCompletion);
    EXPECT_FALSE (p.panel->getProtocol()->isThreadRunning()) << "stopped, not left sending";

    const auto messages = p.log->getMessages();
    size_t bytes = 0;

    for (const auto& m : messages)
        bytes += m.size();

    ASSERT_EQ (p.lines.entries.size(), 1u);
    EXPECT_EQ (p.lines.entries[0].line,
               "NimboSwUpdater: outcome=closed status=9 image=\"Tremoran Roduza Delay\" version=\"1.0.01\" "
               "revision=473 size=295325 sha256="
                   + juce::String (builtInSha256) + " file=- output=2 output_name=\"B\" messages="
                   + juce::String ((int) messages.size()) + " bytes=" + juce::String ((int) bytes));
}

TEST (Panel, AFailedUploadThenACompletedOneEndTheRunWithZero)
{
    TempImage image (makeImage (std::vector<int> (40, 20)));
    const auto path = image.file.getFullPathName();
    Panel p ("--autoupdate --outputid 2 --file " + path);
    ASSERT_TRUE (pumpUntil ([&] { return p.log->getMessages().size() >= 5; }));
    p.log->sendsFail = true;
    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    const auto sentBeforeFailure = p.log->getMessages().size();

    ASSERT_EQ (p.lines.entries.size(), 1u);
    const auto failed = p.lines.entries[0].line;
    EXPECT_TRUE (failed.startsWith ("NimboSwUpdater: outcome=send-failed status=8 image=\"Other Pedal\" version=\"\" "
                                    "revision=0 size=800 sha256="))
        << failed;
    EXPECT_TRUE (failed.contains (" file=" + OutcomeLine::quoted (path)
                                  + " output=2 output_name=\"B\" messages=" + juce::String ((int) sentBeforeFailure)
                                  + " bytes=" + juce::String ((int) sentBeforeFailure * 20)))
        << failed;
    EXPECT_EQ (p.panel->getRunRecord().getExitStatus(), ExitStatus::sendFailed);

    // The person at the window chooses the pedal again and presses update.
    p.log->sendsFail = false;
    p.panel->getMidiInterface().getOutputSelector().setSelectedId (2);
    p.settle();
    p.panel->buttonClicked (&p.update());
    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    ASSERT_EQ (p.lines.entries.size(), 2u);
    EXPECT_TRUE (p.lines.entries[1].line.contains (" outcome=completed status=0 ")) << p.lines.entries[1].line;
    EXPECT_TRUE (p.lines.entries[1].line.endsWith (" messages=40 bytes=800")) << p.lines.entries[1].line;
    EXPECT_EQ (p.panel->endRun(), ExitStatus::success);
}

TEST (Panel, AutoUpdateNeverSendsAnotherImageThanTheFileItWasGiven)
{
    TempImage folder (makeImage ({ 9 }));
    const auto emptyFile = folder.dir.getFile().getChildFile ("empty.syx");
    ASSERT_TRUE (emptyFile.create());
    const auto fifo = folder.dir.getFile().getChildFile ("pipe.syx");
    ASSERT_EQ (::mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);

    const juce::String commandLines[] = {
        "--autoupdate --outputid 2 --file " + folder.dir.getFile().getChildFile ("missing.syx").getFullPathName(),
        "--autoupdate --outputid 2 --file " + folder.dir.getFile().getFullPathName(),
        "--autoupdate --outputid 2 --file " + emptyFile.getFullPathName(),
        "--autoupdate --outputid 2 --file " + fifo.getFullPathName(),
        // The path is the rest of the line, yet --autoupdate is still seen.
        "--outputid 2 --file x.syx --autoupdate",
    };

    for (const auto& commandLine : commandLines)
    {
        Panel p (commandLine);
        ASSERT_EQ (p.alerts.entries.size(), 1u) << "the file's box, and no other: " << commandLine;
        EXPECT_TRUE (
            p.alerts.entries[0].message.endsWith ("Nothing will be sent: the automatic update does not start."))
            << p.alerts.entries[0].message;
        EXPECT_FALSE (p.panel->getProtocol()->isThreadRunning());
        EXPECT_FALSE (p.panel->getMidiInterface().isReady()) << "no output is opened for it either";
        EXPECT_FALSE (p.update().isEnabled());

        const auto line = p.onlyLine();
        const auto options = CommandLineOptions (commandLine);
        EXPECT_EQ (line, "NimboSwUpdater: outcome=unusable-file status=3 image=- version=- revision=- size=- "
                         "sha256=- file="
                             + OutcomeLine::quoted (options.filePath)
                             + " output=2 output_name=\"B\" messages=0 bytes=0");

        p.settle();
        EXPECT_TRUE (p.log->getMessages().empty());
        EXPECT_TRUE (p.log->getEvents().empty()) << "not even an open: " << p.log->getEvents().front();
        EXPECT_TRUE (p.panel->getProgressLabel().getText().startsWith ("Update progress: Nothing was sent: the "
                                                                       "firmware file "))
            << p.panel->getProgressLabel().getText();
        EXPECT_EQ (p.panel->endRun(), ExitStatus::unusableFile);
    }

    // Output 3 of two is no output at all, whatever the list holds at 3.
    Panel p ("--autoupdate --outputid 3 --file x.syx");
    EXPECT_TRUE (p.onlyLine().endsWith (" file=\"x.syx\" output=3 output_name=- messages=0 bytes=0")) << p.onlyLine();
}

TEST (Panel, WithoutAutoUpdateAPersonDrivesAndTheStatusIsZero)
{
    Panel p ("--outputid 2", { "A", "B" }, [] (FakePortDirectory& ports) { ports.failSendsAfter = 3; });
    p.panel->getMidiInterface().getOutputSelector().setSelectedId (2);
    p.settle();
    p.panel->buttonClicked (&p.update());
    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    EXPECT_EQ (p.panel->getRunRecord().getExitStatus(), ExitStatus::sendFailed) << "recorded all the same";
    EXPECT_TRUE (p.lines.entries.empty()) << "only an automatic update prints";
    EXPECT_EQ (p.panel->endRun(), ExitStatus::success);
}

TEST (Panel, FileImageReplacesTheBuiltInOneWithANewProtocol)
{
    TempImage image (makeImage ({ 9, 40, 9 }));
    Panel p ("--file \"" + image.file.getFullPathName() + "\"");

    EXPECT_TRUE (p.alerts.entries.empty());
    auto& loaded = p.panel->getFirmwareImage();
    EXPECT_EQ (loaded.getName(), "Other Pedal");
    EXPECT_EQ (loaded.size, 58);
    EXPECT_TRUE (loaded.fixedPacing);
    EXPECT_EQ (p.panel->getDescriptionLabel().getText(),
               "This software updater will update your Other Pedal firmware to version ");
    EXPECT_EQ (ContentComp::titleFor (loaded), "Other Pedal version ");

    p.panel->getMidiInterface().getOutputSelector().setSelectedId (1);
    p.settle();
    p.panel->buttonClicked (&p.update());
    // The status text arrives before the word that the upload has ended.
    ASSERT_TRUE (pumpUntil ([&] { return ! p.panel->isUploadRunning(); }));
    EXPECT_TRUE (p.panel->getProgressLabel().getText().endsWith ("Update completed"));
    EXPECT_EQ (p.log->getMessages().size(), 3u);
    EXPECT_TRUE (p.update().isEnabled());
}

TEST (Panel, MissingFileKeepsTheBuiltInImageForAPerson)
{
    Panel p ("--file x.syx --outputid 2", {});
    ASSERT_EQ (p.alerts.entries.size(), 1u);
    EXPECT_EQ (p.alerts.entries[0].title, "File x.syx --outputid 2 not found");
    EXPECT_TRUE (p.alerts.entries[0].message.endsWith ("The application will use the build-in firmware version."));
    EXPECT_EQ (p.panel->getFirmwareImage().getName(), "Tremoran Roduza Delay");
    EXPECT_EQ (p.panel->getFirmwareImage().size, 295325);
    EXPECT_TRUE (p.panel->getFirmwareImage().fixedPacing);
    EXPECT_TRUE (p.lines.entries.empty());
    EXPECT_EQ (p.panel->endRun(), ExitStatus::success);
}

TEST (Panel, RefusedImageFreesTheControlsAndShowsWhy)
{
    auto bytes = makeImage ({ 9, 9 });
    bytes.push_back (0x42);
    TempImage image (bytes, "broken.syx");
    Panel p ("--autoupdate --file " + image.file.getFullPathName());

    auto refused = [&]
    { return p.panel->getProgressLabel().getText().startsWith ("Update progress: Invalid firmware file"); };
    ASSERT_TRUE (pumpUntil (refused));
    p.settle();

    // Pressed again, with no link change to re-enable anything: only the
    // engine's word that the upload ended frees the controls.
    p.panel->getProgressLabel().setText ({}, juce::dontSendNotification);
    p.panel->buttonClicked (&p.update());
    EXPECT_FALSE (p.update().isEnabled());
    ASSERT_TRUE (pumpUntil (refused));
    p.settle();
    EXPECT_TRUE (p.update().isEnabled());
    EXPECT_TRUE (p.panel->getMidiInterface().isEnabled());
    EXPECT_TRUE (p.log->getMessages().empty());

    ASSERT_EQ (p.lines.entries.size(), 2u) << "one line per upload";
    EXPECT_TRUE (
        p.lines.entries[1].line.startsWith ("NimboSwUpdater: outcome=refused-image status=4 image=\"broken\" "))
        << p.lines.entries[1].line;
    EXPECT_TRUE (p.lines.entries[1].line.endsWith (" messages=0 bytes=0"));
    EXPECT_EQ (p.panel->endRun(), ExitStatus::refusedImage);
}

TEST (Panel, HelpButtonShowsAndHidesTheCentredHelpWindow)
{
    Panel p ("");
    auto& help = p.panel->getHelpWindow();
    EXPECT_FALSE (help.isVisible());

    help.setBounds (0, 0, 300, 200);
    p.panel->buttonClicked (&p.panel->getHelpButton());
    EXPECT_TRUE (help.isVisible());
    EXPECT_EQ (help.getWidth(), 550);
    EXPECT_EQ (help.getHeight(), 400);
    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_NEAR (help.getBounds().getCentreX(), screen.getCentreX(), 1);

    p.panel->buttonClicked (&p.panel->getHelpButton());
    EXPECT_FALSE (help.isVisible());

    p.panel->buttonClicked (&p.panel->getHelpButton());
    help.closeButtonPressed();
    EXPECT_FALSE (help.isVisible());
}
