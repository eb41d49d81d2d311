#include "app/Application.h"

#include "ui/CommandLineOptions.h"
#include "ui/ExitStatus.h"

#include <iostream>

#if JUCE_WINDOWS
    #include "app/WindowsTimerThrottling.h"
    #include "app/WineRepaintWorkaround.h"
#endif

void Application::initialise (const juce::String& commandLine)
{
    initialised = true;
    juce::LookAndFeel::setDefaultLookAndFeel (&classicLook);

#if JUCE_WINDOWS
    WineRepaintWorkaround::startIfRunningUnderWine();
    // An update must not slow down when its window is minimised.
    WindowsTimerThrottling::optOut();
#endif

    mainWindow = std::make_unique<MainWindow> (commandLine);
    mainWindow->centreWithSize (650, 400);
    mainWindow->setVisible (true);
    mainWindow->setResizeLimits (650, 400, 650, 400);
}

void Application::shutdown()
{
    if (! initialised)
        return endAsSecondInstance();

    if (mainWindow != nullptr && mainWindow->getContent() != nullptr)
        setApplicationReturnValue ((int) mainWindow->getContent()->endRun());

    mainWindow.reset();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

void Application::endAsSecondInstance()
{
    // The running updater gets this command line and ignores it; whoever
    // started this one must learn that nothing was done.
    std::cerr << "NimboSwUpdater: another updater is already running, so this one did nothing." << std::endl;

    if (CommandLineOptions (getCommandLineParameters()).autoUpdate)
        setApplicationReturnValue ((int) ExitStatus::alreadyRunning);
}
