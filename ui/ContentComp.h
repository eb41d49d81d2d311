#pragma once

#include "firmware/FirmwareImage.h"
#include "midi/MidiInterfaceClass.h"
#include "protocol/BasicSysexProtocolClass.h"
#include "ui/NimboHelpWindowClass.h"
#include "ui/OutcomeLine.h"
#include "ui/RunRecord.h"
#include "ui/UserAlert.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <utility>

/** The updater panel, the main window's content: it owns the MIDI link, the
    firmware image, the upload protocol and the help window, reads the command
    line, and leads the user through choosing a port and pressing update. */
class ContentComp : public juce::Component, public juce::Button::Listener, public juce::ChangeListener
{
public:
    /** Builds the panel for this command line (the parameters as one string).
        In auto-update mode the upload is started before this returns, unless
        a --file image cannot be used: then nothing is started at all.
        ports, tellUser and printLine are the MIDI service, the way to show
        messages and where outcome lines go; tests pass fakes, the program
        passes nothing. */
    explicit ContentComp (const juce::String& commandLine, std::unique_ptr<MidiPortDirectory> ports = {},
                          UserAlert::Function tellUser = UserAlert::modalBox(),
                          OutcomeLine::Sink printLine = OutcomeLine::standardOutput());

    /** Stops the upload before anything it uses goes away. */
    ~ContentComp() override;

    void resized() override;
    void buttonClicked (juce::Button* button) override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

    /** Puts the image of this file in place of the current one, with a new
        protocol; false (and nothing changed) when the file cannot be used.
        The user is told why; in auto-update mode the box says that nothing
        will be sent, and the attempt is recorded as an unusable file. */
    bool loadFirmwareFile (const juce::String& filePath);

    /** Ends the run, on the way out: an upload still running is stopped
        and recorded as closed before completion. Returns the exit status:
        in auto-update mode the last attempt's (see RunRecord), otherwise
        ExitStatus::success. */
    ExitStatus endRun();

    /** Every attempt of this run so far. */
    const RunRecord& getRunRecord() const noexcept { return runRecord; }

    /** "This software updater will update your <name> firmware to version
        <version>", with " - R<revision>" when the revision is not 0. */
    static juce::String describe (const FirmwareImage& image);

    /** The window title for this image: "<name> version <version>", with
        " - R<revision>" when the revision is not 0. */
    static juce::String titleFor (const FirmwareImage& image);

    static const juce::Colour readyColour;
    static const juce::Colour notReadyColour;

    FirmwareImage& getFirmwareImage() noexcept { return *firmwareImage; }
    BasicSysexProtocolClass* getProtocol() noexcept { return protocol.get(); }
    MidiInterfaceClass& getMidiInterface() noexcept { return *midiInterface; }
    NimboHelpWindowClass& getHelpWindow() noexcept { return *helpWindow; }
    juce::TextButton& getUpdateButton() noexcept { return *updateButton; }
    juce::TextButton& getHelpButton() noexcept { return *helpButton; }
    juce::ProgressBar& getProgressBar() noexcept { return *progressBar; }
    juce::Label& getProgressLabel() noexcept { return *progressLabel; }
    juce::Label& getDescriptionLabel() noexcept { return *descriptionLabel; }
    juce::Label& getStep1Label() noexcept { return *step1Label; }
    juce::Label& getStep2Label() noexcept { return *step2Label; }
    juce::Label& getAdviceLabel() noexcept { return *adviceLabel; }
    double getProgressValue() const noexcept { return progress; }

    /** True from the moment update is pressed until the upload has ended. */
    bool isUploadRunning() const noexcept { return uploadRunning; }

    /** What the user is told when a chosen output cannot be opened: the box's
        title and text. */
    static std::pair<juce::String, juce::String> describeOpenFailure (const MidiInterfaceClass::OpenFailure& failure);

    /** What the user can do after an upload ended this way; empty when there
        is nothing to add to the status. */
    static juce::String adviceFor (UploadOutcome outcome);

private:
    void applyUpdateButtonRule();
    void startAutoUpdate (int outputId);

    /** Shows the box for a port that could not be opened, if one was not;
        returns whether it showed one. */
    bool tellOpenFailure (const MidiInterfaceClass::OpenFailure& failure);

    /** What the next attempt sends, and where: the current image and the
        output now chosen in the list. */
    UpdateAttempt describeAttempt();

    /** The name of the output that --outputid id names, empty when none. */
    juce::String listedOutputName (int id);

    /** Records an attempt that has ended and, in auto-update mode, prints
        its outcome line. */
    void reportAttempt (const UpdateAttempt& attempt);

    /** Records the end of the upload that ran, as the worker saw it. */
    void reportUploadEnd();

    /** The status and advice after an automatic update that could not start
        because its file cannot be used. */
    void showFileRefused();

    UserAlert::Function tellUser;
    OutcomeLine::Sink printLine;
    bool autoUpdate = false;
    RunRecord runRecord;
    UpdateAttempt runningAttempt;
    juce::String imageSha256;
    /** Why the --file image could not be used, for the status line. */
    juce::String fileProblem;
    /** The --outputid while the constructor loads the --file image and
        makes the automatic start, for what those report; 0 otherwise. */
    int autoStartOutputId = 0;

    std::unique_ptr<BasicSysexProtocolClass> protocol;
    std::unique_ptr<NimboHelpWindowClass> helpWindow;
    std::unique_ptr<MidiInterfaceClass> midiInterface;
    std::unique_ptr<juce::TextButton> updateButton;
    std::unique_ptr<juce::ProgressBar> progressBar;
    std::unique_ptr<juce::Label> progressLabel;
    double progress = 0.0;
    std::unique_ptr<juce::TextButton> helpButton;
    std::unique_ptr<juce::Label> descriptionLabel;
    std::unique_ptr<juce::Label> step1Label;
    std::unique_ptr<juce::Label> step2Label;
    std::unique_ptr<juce::Label> adviceLabel;
    bool uploadRunning = false;
    std::unique_ptr<FirmwareImage> firmwareImage;
    juce::TooltipWindow tooltipWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ContentComp)
};
