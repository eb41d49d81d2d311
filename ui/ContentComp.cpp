#include "ui/ContentComp.h"

#include "midi/JuceMidiPortDirectory.h"
#include "protocol/AutoUpdateFlag.h"
#include "ui/CommandLineOptions.h"

const juce::Colour ContentComp::readyColour = juce::Colours::green.brighter (0.99f);
const juce::Colour ContentComp::notReadyColour = juce::Colours::red.brighter (0.99f);

ContentComp::ContentComp (const juce::String& commandLine, std::unique_ptr<MidiPortDirectory> ports,
                          UserAlert::Function tellUserFunction)
    : tellUser (std::move (tellUserFunction))
{
    helpWindow = std::make_unique<NimboHelpWindowClass>();

    if (ports == nullptr)
        ports = std::make_unique<JuceMidiPortDirectory>();

    midiInterface = std::make_unique<MidiInterfaceClass> (std::move (ports));

    firmwareImage = FirmwareImage::createBuiltIn();
    firmwareImage->name = "Tremoran Roduza Delay";

    protocol = std::make_unique<BasicSysexProtocolClass> (midiInterface.get(), firmwareImage.get());

    const CommandLineOptions options (commandLine);
    AutoUpdateFlag::set (options.autoUpdate);

    if (options.hasFile)
        loadFirmwareFile (options.filePath);

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

    if (options.autoUpdate)
        startAutoUpdate (options.outputId);
}

ContentComp::~ContentComp()
{
    // The worker uses the link and the image: it must be gone first.
    protocol.reset();

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

    helpWindow->centreWithSize (550, 400);
}

void ContentComp::buttonClicked (juce::Button* button)
{
    if (button == updateButton.get())
    {
        if (midiInterface->isReady())
        {
            progress = 0.0;
            protocol->start();
            updateButton->setEnabled (false);
        }
        else
        {
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
        const bool uploadUnderWay = progress != 0.0 && progress != 1.0;

        if (uploadUnderWay && midiInterface->isEnabled())
            midiInterface->setEnabled (false);
        else
            midiInterface->setEnabled (true);

        applyUpdateButtonRule();
    }
    else if (protocol != nullptr && source == static_cast<juce::ChangeBroadcaster*> (protocol.get()))
    {
        progress = protocol->getProgress();

        // An upload that was refused or failed never reaches 1.0, but ends all
        // the same: the controls must become usable again.
        if (progress == 1.0 || protocol->hasUploadEnded())
        {
            updateButton->setEnabled (true);
            midiInterface->setEnabled (true);
        }

        progressLabel->setText ("Update progress: " + protocol->getStatusText(), juce::dontSendNotification);
    }

    repaint();
}

bool ContentComp::loadFirmwareFile (const juce::String& filePath)
{
    auto loaded = std::make_unique<FirmwareImage> (filePath, tellUser);

    if (loaded->data == nullptr)
        return false;

    protocol.reset();
    firmwareImage = std::move (loaded);
    protocol = std::make_unique<BasicSysexProtocolClass> (midiInterface.get(), firmwareImage.get());
    return true;
}

void ContentComp::applyUpdateButtonRule()
{
    const bool ready = midiInterface->isReady();
    updateButton->setEnabled (ready);
    updateButton->setColour (juce::TextButton::buttonColourId, ready ? readyColour : notReadyColour);
}

void ContentComp::startAutoUpdate (int outputId)
{
    midiInterface->selectOutput (outputId);
    buttonClicked (updateButton.get());
}
