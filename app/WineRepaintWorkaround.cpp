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

WineRepaintWorkaround::WineRepaintWorkaround() { startTimer (shortestIntervalMs); }

WineRepaintWorkaround::~WineRepaintWorkaround()
{
    stopTimer();
    instance = nullptr;
}

void WineRepaintWorkaround::timerCallback()
{
    const auto started = juce::Time::getMillisecondCounterHiRes();

    // Counting down: flushing a repaint can run handlers that close a window.
    for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
        if (auto* peer = juce::ComponentPeer::getPeer (i))
            peer->performAnyPendingRepaintsNow();

    // Windows hands a thread its posted messages before its mouse and key
    // input, and JUCE posts each timer callback. Where painting takes longer
    // than the interval (software rendering on a slow or emulated CPU) the
    // next callback would already be waiting after every flush, and clicks
    // and keys would wait for seconds. So the thread stays free for at least
    // as long as the flush took.
    const auto tookMs = juce::Time::getMillisecondCounterHiRes() - started;
    startTimer (juce::jmax (shortestIntervalMs, juce::roundToInt (2.0 * tookMs)));
}
