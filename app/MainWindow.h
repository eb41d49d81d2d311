#pragma once

#include "ui/ContentComp.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The main window: 650 x 400, close button only, titled after the firmware
    image, holding the updater panel. Closing it stops the upload first. */
class MainWindow : public juce::DocumentWindow
{
public:
    /** Builds the window and its panel for this command line. */
    explicit MainWindow (const juce::String& commandLine);
    ~MainWindow() override;

    void closeButtonPressed() override;

    ContentComp* getContent() noexcept { return content; }

private:
    ContentComp* content = nullptr; // owned by the window (setContentOwned)

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
