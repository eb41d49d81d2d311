#include "ui/NimboHelpWindowClass.h"
#include "ui/NimboHelpWindowContentComp.h"

#include <gtest/gtest.h>

TEST (HelpWindow, ShowsTheProcedureReadOnlyInAFramedWindow)
{
    const juce::String text (NimboHelpWindowContentComp::helpText);
    EXPECT_EQ (text.length(), 994);
    EXPECT_EQ (juce::StringArray::fromLines (text).size(), 23) << "22 line feeds";
    EXPECT_FALSE (text.containsChar ('\r'));
    EXPECT_FALSE (text.containsChar ('\t'));
    EXPECT_TRUE (text.startsWith ("Firmware Update Procedure. \n"));
    EXPECT_TRUE (text.contains ("Windows XP.\n\n\nTrouble Shooting:\n"));
    EXPECT_TRUE (text.endsWith (" - Please quit any MIDI related application on your PC or Mac.\n"));

    NimboHelpWindowClass window;
    EXPECT_EQ (window.getName(), "Firmware Update Help");
    EXPECT_FALSE (window.isVisible());
    EXPECT_TRUE (window.isOnDesktop());
    EXPECT_EQ (window.findColour (juce::DocumentWindow::backgroundColourId), juce::Colour (0xffeff2f3));
    EXPECT_NE (window.getCloseButton(), nullptr);
    EXPECT_NE (window.getMinimiseButton(), nullptr);
    EXPECT_NE (window.getMaximiseButton(), nullptr);
    EXPECT_TRUE (window.isResizable());

    auto* content = dynamic_cast<NimboHelpWindowContentComp*> (window.getContentComponent());
    ASSERT_NE (content, nullptr);
    auto& editor = content->getEditor();
    EXPECT_EQ (editor.getText(), text);
    EXPECT_TRUE (editor.isReadOnly());
    EXPECT_TRUE (editor.isMultiLine());

    window.centreWithSize (550, 400);
    EXPECT_EQ (editor.getBounds(), content->getLocalBounds());
    EXPECT_GT (editor.getWidth(), 0);

    window.setVisible (true);
    window.closeButtonPressed();
    EXPECT_FALSE (window.isVisible());
}
