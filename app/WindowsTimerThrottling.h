#pragma once

/** Keeps the upload's pauses as short as asked on Windows 11 when the window
    is minimised or hidden.

    Windows 11 ignores a process's request for a 1 ms timer (which JUCE makes)
    while none of its windows is visible, unless the process opts out: then
    every pause of the upload can last up to a whole 15.6 ms timer tick more,
    and a minimised update can take up to twice as long. Never faster than
    allowed, but a service technician flashing pedals in a batch would wait
    for nothing.
*/
class WindowsTimerThrottling
{
public:
    /** Asks Windows to keep honouring the timer resolution while the window
        is hidden. Looked up when called, so it does nothing (and returns
        false) where the call is missing: before Windows 8, under Wine, and on
        other systems. */
    static bool optOut();

private:
    WindowsTimerThrottling() = delete;
};
