#include "ui/ContentComp.h"

#include "midi/JuceMidiPortDirectory.h"
#include "protocol/AutoUpdateFlag.h"
#include "ui/CommandLineOptions.h"

#include <juce_cryptography/juce_cryptography.h>

const juce::Colour ContentComp::readyColour = juce::Colours::green.brighter (0.99f);
const juce::Colour ContentComp::notReadyColour = juce::Colours::red.brighter (0.99f);

ContentComp::ContentComp (const juce::String& commandLine, std::unique_ptr<MidiPortDirectory> ports,
                          UserAlert::Function tellUserFunction, OutcomeLine::Sink printLineFunction)
    : tellUser (std::move (tellUserFunction)), printLine (std::move (printLineFunction))
{
    helpWindow = std::make_unique<NimboHelpWindowClass>();

    if (ports == nullptr)
        ports = std::make_unique<JuceMidiPortDirectory>();

    midiInterface = std::make_unique<MidiInterfaceClass> (std::move (ports));

    firmwareImage = FirmwareImage::createBuiltIn();
    firmwareImage->name = "Tremoran Roduza Delay";

    protocol = std::make_unique<BasicSysexProtocolClass> (midiInterface.get(), firmwareImage.get());

    const CommandLineOptions options (commandLine);
    autoUpdate = options.autoUpdate;
    AutoUpdateFlag::set (options.autoUpdate);

    // An automatic update sends the image it was asked to send or nothing:
    // never the built-in one in place of a file that cannot be used.
    bool fileRefused = false;

    if (options.hasFile)
    {
        autoStartOutputId = options.outputId;
        fileRefused = ! loadFirmwareFile (options.filePath);
        autoStartOutputId = 0;
    }

    firmwareImage->fixedPacing = true;

    addAndMakeVisible (*midiInterface);
    protocol->addChangeListener (this);
    midiInterface->addChangeListener (this);

    descriptionLabel = std::make_unique<juce::Label> (juce::String(), describe (*firmwareImage));
    addAndMakeVisible (*descriptionLabel);

    step1Label = std::make_unique<juce::Label> (juce::String(), "STEP1");
    addAndMakeVisible (*step1Label);
    step2Label = std::make_unique<juce::Label> (juce::String(), "STEP2");
    addAndMakeVisible (*step2Label);

    updateButton = std::make_unique<juce::TextButton> ("update", "click here to update the product");
    addAndMakeVisible (*updateButton);
    updateButton->addListener (this);
    updateButton->setConnectedEdges (juce::Button::ConnectedOnLeft);

    applyUpdateButtonRule();

    progress = 0.0;
    progressBar = std::make_unique<juce::ProgressBar> (progress);
    addAndMakeVisible (*progressBar);
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xffffffff));

    progressLabel = std::make_unique<juce::Label> (juce::String(), "Update progress:");
    progressLabel->attachToComponent (progressBar.get(), false);

    helpButton = std::make_unique<juce::TextButton> ("Help", "click here to get help");
    addAndMakeVisible (*helpButton);
    helpButton->setColour (juce::TextButton::buttonColourId, juce::Colour (0xffeff2f3));
    helpButton->addListener (this);

    // Under the bar, where the panel has room for two lines: what to do after
    // an upload that failed, which the caption has no room for.
    adviceLabel = std::make_unique<juce::Label>();
    adviceLabel->setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (*adviceLabel);

    if (options.autoUpdate)
    {
        if (fileRefused)
            showFileRefused();
        else
            startAutoUpdate (options.outputId);
    }
}

ContentComp::~ContentComp()
{
    // The worker uses the link and the image: it must be gone first.
    protocol.reset();

    adviceLabel.reset();
    helpButton.reset();
    progressLabel.reset();
    progressBar.reset();
    updateButton.reset();
    step2Label.reset();
    step1Label.reset();
    descriptionLabel.reset();
    midiInterface.reset();

    firmwareImage.reset();
    helpWindow.reset();
}

juce::String ContentComp::describe (const FirmwareImage& image)
{
    auto text =
        "This software updater will update your " + image.getName() + " firmware to version " + image.getVersion();

    if (image.revision != 0)
        text << " - R" << image.revision;

    return text;
}

juce::String ContentComp::titleFor (const FirmwareImage& image)
{
    auto title = image.getName() + " version " + image.getVersion();

    if (image.revision != 0)
        title << " - R" << image.revision;

    return title;
}

void ContentComp::resized()
{
    const int w = getWidth();

    descriptionLabel->setBounds (10, 15, w - 20, 50);
    helpButton->setBounds (w - 104, 70, 94, 30);
    step1Label->setBounds (10, descriptionLabel->getBottom() + 5, w - 20, 30);
    midiInterface->setBounds (10, step1Label->getBottom() + 5, w - 20, midiInterface->getPreferredHeight());
    step2Label->setBounds (10, midiInterface->getBottom() + 10, w - 20, 30);
    updateButton->setBounds (w - 104, step2Label->getBottom() + 20, 94, 30);
    progressBar->setBounds (10, step2Label->getBottom() + 20, w - 114, 30);
    adviceLabel->setBounds (10, progressBar->getBottom() + 10, w - 20, 50);

    helpWindow->centreWithSize (550, 400);
}

void ContentComp::buttonClicked (juce::Button* button)
{
    if (button == updateButton.get())
    {
        if (uploadRunning)
            return;

        if (midiInterface->isReady())
        {
            progress = 0.0;
            uploadRunning = true;
            runningAttempt = describeAttempt();
            adviceLabel->setText ({}, juce::dontSendNotification);
            // The worker disables the link before each message anyway; doing
            // it now also keeps the output list from changing before the first.
            midiInterface->setEnabled (false);
            protocol->start();
            updateButton->setEnabled (false);
        }
        else
        {
            // Recorded before the box, which waits for the user: a script
            // reading the outcome line must not wait with it.
            const auto failure = midiInterface->takeOpenFailure();
            auto attempt = describeAttempt();
            attempt.ending = RunRecord::endingOf (failure.problem);

            if (autoStartOutputId > 0)
                attempt.outputNumber = autoStartOutputId;

            if (failure.portName.isNotEmpty())
                attempt.outputName = failure.portName;

            reportAttempt (attempt);

            if (! tellOpenFailure (failure))
                tellUser (juce::MessageBoxIconType::WarningIcon, {}, "Please select an output device:");
        }
    }
    else if (button == helpButton.get())
    {
        helpWindow->setVisible (! helpWindow->isVisible());
        helpWindow->centreWithSize (550, 400);
    }
}

void ContentComp::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    if (source == midiInterface.get())
    {
        // Whatever the list broadcasts, nobody may change the port or press
        // update again while an upload runs.
        midiInterface->setEnabled (! uploadRunning);
        applyUpdateButtonRule();
        tellOpenFailure (midiInterface->takeOpenFailure());
    }
    else if (protocol != nullptr && source == static_cast<juce::ChangeBroadcaster*> (protocol.get()))
    {
        progress = protocol->getProgress();

        // An upload that was refused or failed never reaches 1.0, but ends all
        // the same: the controls must become usable again.
        if (uploadRunning && protocol->hasUploadEnded())
        {
            reportUploadEnd();
            uploadRunning = false;
            midiInterface->setEnabled (true);
            adviceLabel->setText (adviceFor (protocol->getUploadOutcome()), juce::dontSendNotification);
            applyUpdateButtonRule();
        }

        progressLabel->setText ("Update progress: " + protocol->getStatusText(), juce::dontSendNotification);
    }

    repaint();
}

bool ContentComp::loadFirmwareFile (const juce::String& filePath)
{
    auto loaded = FirmwareImage::readFile (filePath);

    if (loaded->data == nullptr)
    {
        fileProblem = loaded->describeProblem();

        if (autoUpdate)
        {
            UpdateAttempt attempt;
            attempt.ending = UpdateAttempt::Ending::unusableFile;
            attempt.filePath = filePath;

            attempt.outputNumber = autoStartOutputId;
            attempt.outputName = listedOutputName (autoStartOutputId);

            reportAttempt (attempt);
        }

        if (const auto notice = loaded->getNotice (autoUpdate ? FirmwareImage::Fallback::nothing
                                                              : FirmwareImage::Fallback::builtInImage))
            tellUser (notice->icon, notice->title, notice->message);

        return false;
    }

    protocol.reset();
    firmwareImage = std::move (loaded);
    protocol = std::make_unique<BasicSysexProtocolClass> (midiInterface.get(), firmwareImage.get());
    return true;
}

void ContentComp::applyUpdateButtonRule()
{
    const bool ready = midiInterface->isReady();
    updateButton->setEnabled (ready && ! uploadRunning);
    updateButton->setColour (juce::TextButton::buttonColourId, ready ? readyColour : notReadyColour);
}

bool ContentComp::tellOpenFailure (const MidiInterfaceClass::OpenFailure& failure)
{
    if (failure.problem == OpenProblem::none)
        return false;

    const auto [title, message] = describeOpenFailure (failure);
    tellUser (juce::MessageBoxIconType::WarningIcon, title, message);
    return true;
}

namespace
{
const char* const restartPedalAdvice =
    "start the pedal in update mode again (hold the leftmost footswitch while you plug in its power supply)";
}

std::pair<juce::String, juce::String> ContentComp::describeOpenFailure (const MidiInterfaceClass::OpenFailure& failure)
{
    const auto port = "\"" + failure.portName + "\"";

    switch (failure.problem)
    {
        case OpenProblem::busy:
            return { "MIDI output in use",
                     port
                         + " is in use by another program, so the updater cannot send to it.\n"
                           "Please quit any MIDI related application on your PC or Mac, then choose the pedal "
                           "in the list again." };

        case OpenProblem::gone:
            return { "MIDI output not found", port + " is no longer connected.\nConnect the pedal, "
                                                  + restartPedalAdvice + ", then choose it in the list again." };

        case OpenProblem::none:
        case OpenProblem::failed:
            break;
    }

    return { "MIDI output cannot be opened",
             port + " could not be opened" + (failure.detail.isEmpty() ? juce::String() : " (" + failure.detail + ")")
                 + ".\nCheck the cable, " + restartPedalAdvice + ", then choose it in the list again." };
}

juce::String ContentComp::adviceFor (UploadOutcome outcome)
{
    switch (outcome)
    {
        case UploadOutcome::sendFailed:
        case UploadOutcome::outputClosed:
            return "To try again, " + juce::String (restartPedalAdvice)
                   + ", then choose it in the list above and press update.";

        case UploadOutcome::noOutput:
            return "Choose the pedal in the list above, then press update.";

        case UploadOutcome::none:
        case UploadOutcome::completed:
        case UploadOutcome::invalidImage:
        case UploadOutcome::stopped:
            break;
    }

    return {};
}

void ContentComp::startAutoUpdate (int outputId)
{
    midiInterface->selectOutput (outputId);
    autoStartOutputId = outputId;
    buttonClicked (updateButton.get());
    autoStartOutputId = 0;
}

void ContentComp::showFileRefused()
{
    progressLabel->setText ("Update progress: Nothing was sent: the firmware file " + fileProblem,
                            juce::dontSendNotification);
    adviceLabel->setText ("Check the file given with --file, then start the automatic update again.",
                          juce::dontSendNotification);
}

juce::String ContentComp::listedOutputName (int id)
{
    // The list's first entry is "(Disconnected)", whose id follows the ports'.
    auto& list = midiInterface->getOutputSelector();

    if (id < 1 || id >= list.getItemId (0))
        return {};

    return list.getItemText (list.indexOfItemId (id));
}

UpdateAttempt ContentComp::describeAttempt()
{
    UpdateAttempt attempt;
    const auto& image = *firmwareImage;

    // Hashed once: the image does not change after start-up.
    if (imageSha256.isEmpty())
        imageSha256 = juce::SHA256 (image.data, (size_t) image.size).toHexString();

    attempt.imageName = image.getName();
    attempt.imageVersion = image.getVersion();
    attempt.imageRevision = image.revision;
    attempt.imageSize = image.size;
    attempt.imageSha256 = imageSha256;
    attempt.filePath = image.filePath;

    if (midiInterface->isReady())
    {
        auto& list = midiInterface->getOutputSelector();
        attempt.outputNumber = list.getSelectedId();
        attempt.outputName = list.getText();
    }

    return attempt;
}

void ContentComp::reportAttempt (const UpdateAttempt& attempt)
{
    runRecord.record (attempt);

    if (autoUpdate)
        printLine (OutcomeLine::format (attempt));
}

void ContentComp::reportUploadEnd()
{
    auto attempt = runningAttempt;
    attempt.ending = RunRecord::endingOf (protocol->getUploadOutcome());
    attempt.messagesSent = protocol->getMessagesSent();
    attempt.bytesSent = protocol->getBytesSent();
    reportAttempt (attempt);
}

ExitStatus ContentComp::endRun()
{
    if (uploadRunning)
    {
        // Quit without the close button, or a worker the close did not stop
        // in time: it must not go on sending while the program goes away.
        protocol->signalThreadShouldExit();
        protocol->waitForThreadToExit (2000);
        reportUploadEnd();
        uploadRunning = false;
    }

    return autoUpdate ? runRecord.getExitStatus() : ExitStatus::success;
}
