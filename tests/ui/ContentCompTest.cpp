#include "ui/ContentComp.h"
#include "TestHelpers.h"
#include "protocol/AutoUpdateFlag.h"

#include <gtest/gtest.h>

namespace
{
struct Panel
{
    explicit Panel (const juce::String& commandLine, juce::StringArray portNames = { "A", "B" })
    {
        auto directory = std::make_unique<FakePortDirectory> (portNames, log);
        panel = std::make_unique<ContentComp> (commandLine, std::move (directory), alerts.recorder());
        panel->setSize (650, 374);
    }

    ~Panel() { AutoUpdateFlag::set (false); }

    void settle() { pumpFor (60); }

    juce::TextButton& update() { return panel->getUpdateButton(); }
    juce::Colour updateColour() { return update().findColour (juce::TextButton::buttonColourId); }

    std::shared_ptr<PortLog> log = std::make_shared<PortLog>();
    AlertLog alerts;
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

TEST (Panel, ProtocolChangesMoveTheBarAndOnlyAFinishedUploadFreesTheControls)
{
    Panel p ("");
    p.settle();
    auto* protocol = p.panel->getProtocol();
    auto& link = p.panel->getMidiInterface();
    EXPECT_EQ (p.panel->getProgressLabel().getText(), "Update progress:");

    p.update().setEnabled (false);
    link.setEnabled (false);
    protocol->setProgress (0.5);
    p.settle();
    EXPECT_EQ (p.panel->getProgressValue(), 0.5);
    EXPECT_FALSE (p.update().isEnabled());
    EXPECT_EQ (p.panel->getProgressLabel().getText(), "Update progress: ") << "one blank even with no status";

    // During an upload a link change toggles the link's enabled state.
    link.setEnabled (true);
    link.sendChangeMessage();
    p.settle();
    EXPECT_FALSE (link.isEnabled());
    link.sendChangeMessage();
    p.settle();
    EXPECT_TRUE (link.isEnabled());

    protocol->setStatusText ("Uploading firmware");
    protocol->setProgress (1.0);
    link.setEnabled (false);
    p.settle();
    EXPECT_TRUE (p.update().isEnabled());
    EXPECT_TRUE (link.isEnabled());
    EXPECT_EQ (p.panel->getProgressLabel().getText(), "Update progress: Uploading firmware");

    // Outside an upload a link change always enables the link.
    link.setEnabled (false);
    link.sendChangeMessage();
    p.settle();
    EXPECT_TRUE (link.isEnabled());
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
    ASSERT_TRUE (pumpUntil ([&] { return p.panel->getProgressLabel().getText().endsWith ("Update completed"); }));
    EXPECT_EQ (p.log->getMessages().size(), 3u);
    EXPECT_TRUE (p.update().isEnabled());
}

TEST (Panel, MissingFileKeepsTheBuiltInImage)
{
    Panel p ("--file x.syx --autoupdate", {});
    ASSERT_EQ (p.alerts.entries.size(), 2u) << "the file box, then the no-output warning";
    EXPECT_EQ (p.alerts.entries[0].title, "File x.syx --autoupdate not found");
    EXPECT_EQ (p.panel->getFirmwareImage().getName(), "Tremoran Roduza Delay");
    EXPECT_EQ (p.panel->getFirmwareImage().size, 295325);
    EXPECT_TRUE (p.panel->getFirmwareImage().fixedPacing);
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
