#include "app/MainWindow.h"

#include "NimboAppResources.h"

MainWindow::MainWindow (const juce::String& commandLine)
    : juce::DocumentWindow (juce::String(), juce::Colour (0xffeff2f3), juce::DocumentWindow::closeButton, true)
{
    auto panel = std::make_unique<ContentComp> (commandLine);
    content = panel.get();

    setResizable (true, false);
    setContentOwned (panel.release(), false);
    setName (ContentComp::titleFor (content->getFirmwareImage()));

#if JUCE_LINUX || JUCE_BSD
    // Task bars show this; Windows takes the icon from the executable's resources.
    setIcon (juce::ImageCache::getFromMemory (NimboAppResources::icon_png, NimboAppResources::icon_pngSize));
#endif

    setVisible (true);
}

MainWindow::~MainWindow() = default;

void MainWindow::closeButtonPressed()
{
    if (content != nullptr)
    {
        if (auto* protocol = content->getProtocol())
        {
            protocol->signalThreadShouldExit();
            protocol->waitForThreadToExit (5000);
        }
    }

    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
