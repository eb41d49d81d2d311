#pragma once

#include <juce_core/juce_core.h>

/** Asks whether an X server answers on DISPLAY, before JUCE touches the
    display: JUCE 7 crashes (SIGSEGV) when DISPLAY is set but no server
    answers, as over ssh without X forwarding or after the display went away.
    Linux and BSD only; elsewhere there is always a display. */
class DisplayCheck
{
public:
    /** Empty when a server answers; otherwise why there is no display, in
        words for the user. A display that has not answered within timeoutMs
        (a remote one whose host is gone) counts as none. */
    static juce::String findProblem (int timeoutMs = 5000);

private:
    DisplayCheck() = delete;
};
