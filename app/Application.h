#pragma once

#include "app/MainWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The application object: a single instance with one main window. Its
    return value, the process's exit status, is the panel's (see
    ContentComp::endRun), or ExitStatus::alreadyRunning for an automatic
    update started while another updater runs. */
class Application : public juce::JUCEApplication
{
public:
    Application() = default;

    const juce::String getApplicationName() override { return "Pedaloft by Morvane"; }
    const juce::String getApplicationVersion() override { return "1.0"; }
    bool moreThanOneInstanceAllowed() override { return false; }

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;

private:
    /** The second instance's ending: JUCE calls shutdown without initialise
        when another instance holds the single-instance lock. */
    void endAsSecondInstance();

    bool initialised = false;

    // Every window and control gets the classic look, with glass title-bar
    // buttons; it must outlive every window that uses it.
    juce::LookAndFeel_V2 classicLook;
    std::unique_ptr<MainWindow> mainWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Application)
};
