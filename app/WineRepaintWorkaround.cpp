#include "app/WineRepaintWorkaround.h"

WineRepaintWorkaround* WineRepaintWorkaround::instance = nullptr;

bool WineRepaintWorkaround::isRunningUnderWine()
{
#if JUCE_WINDOWS
    // ntdll is mapped into every Windows process, so this only looks it up.
    juce::DynamicLibrary ntdll;
    return ntdll.open ("ntdll.dll") && ntdll.getFunction ("wine_get_version") != nullptr;
#else
    return false;
#endif
}

bool WineRepaintWorkaround::startIfRunningUnderWine()
{
    JUCE_ASSERT_MESSAGE_THREAD

    if (instance == nullptr && isRunningUnderWine())
        instance = new WineRepaintWorkaround();

    return instance != nullptr;
}

WineRepaintWorkaround::WineRepaintWorkaround() { startTimerHz (60); }

WineRepaintWorkaround::~WineRepaintWorkaround()
{
    stopTimer();
    instance = nullptr;
}

void WineRepaintWorkaround::timerCallback()
{
    // Counting down: flushing a repaint can run handlers that close a window.
    for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
        if (auto* peer = juce::ComponentPeer::getPeer (i))
            peer->performAnyPendingRepaintsNow();
}
