#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Keeps windows updating when the Windows build runs under Wine.

    JUCE 7's Windows peers flush their pending repaints when a DXGI
    vertical-blank wait returns; Wine 8 does not implement that wait, so
    under Wine every window shows its first frame and never changes again
    (clicks still work, nothing visible follows). Under Wine this flushes
    each peer's pending repaints from a 60 Hz timer. On real Windows and on
    Linux it never starts.
*/
class WineRepaintWorkaround final : private juce::Timer, private juce::DeletedAtShutdown
{
public:
    /** Call once on the message thread. Starts the flushing only when the
        process runs under Wine and returns whether it did; JUCE deletes the
        object at shutdown. */
    static bool startIfRunningUnderWine();

    /** True when ntdll exports wine_get_version, which only Wine's does. */
    static bool isRunningUnderWine();

    ~WineRepaintWorkaround() override;

private:
    /** 60 Hz, while flushing takes less than half of it */
    static constexpr int shortestIntervalMs = 16;

    WineRepaintWorkaround();
    void timerCallback() override;

    static WineRepaintWorkaround* instance;

    JUCE_DECLARE_NON_COPYABLE (WineRepaintWorkaround)
};
