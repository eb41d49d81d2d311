#pragma once

#include "firmware/FirmwareImage.h"
#include "midi/MidiInterfaceClass.h"
#include "protocol/BasicSysexProtocolClass.h"
#include "ui/NimboHelpWindowClass.h"
#include "ui/UserAlert.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The updater panel, the main window's content: it owns the MIDI link, the
    firmware image, the upload protocol and the help window, reads the command
    line, and leads the user through choosing a port and pressing update. */
class ContentComp : public juce::Component, public juce::Button::Listener, public juce::ChangeListener
{
public:
    /** Builds the panel for this command line (the parameters as one string).
        In auto-update mode the upload is started before this returns.
        ports and tellUser are the MIDI service and the way to show messages;
        tests pass fakes, the program passes nothing. */
    explicit ContentComp (const juce::String& commandLine, std::unique_ptr<MidiPortDirectory> ports = {},
                          UserAlert::Function tellUser = UserAlert::modalBox());

    /** Stops the upload before anything it uses goes away. */
    ~ContentComp() override;

    void resized() override;
    void buttonClicked (juce::Button* button) override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

    /** Puts the image of this file in place of the current one, with a new
        protocol; false (and nothing changed) when the file cannot be used. */
    bool loadFirmwareFile (const juce::String& filePath);

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
    double getProgressValue() const noexcept { return progress; }

private:
    void applyUpdateButtonRule();
    void startAutoUpdate (int outputId);

    UserAlert::Function tellUser;

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
    std::unique_ptr<FirmwareImage> firmwareImage;
    juce::TooltipWindow tooltipWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ContentComp)
};
