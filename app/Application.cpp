#include "app/Application.h"

#if JUCE_WINDOWS
    #include "app/WineRepaintWorkaround.h"
#endif

void Application::initialise (const juce::String& commandLine)
{
    juce::LookAndFeel::setDefaultLookAndFeel (&classicLook);

#if JUCE_WINDOWS
    WineRepaintWorkaround::startIfRunningUnderWine();
#endif

    mainWindow = std::make_unique<MainWindow> (commandLine);
    mainWindow->centreWithSize (650, 400);
    mainWindow->setVisible (true);
    mainWindow->setResizeLimits (650, 400, 650, 400);
}

void Application::shutdown()
{
    mainWindow.reset();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}
