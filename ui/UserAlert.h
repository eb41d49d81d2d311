#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** How the program tells the user something that must be acknowledged.

    Everything that would show a modal box calls one of these functions instead
    of AlertWindow directly, so tests can record what the user would have seen
    without a box blocking the run.
*/
class UserAlert
{
public:
    /** Shows (or records) one message: an icon, a title and a text. */
    using Function =
        std::function<void (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message)>;

    /** The production behaviour: a modal AlertWindow with a single "ok" button
        that returns when the user has dismissed it. */
    static Function modalBox();

private:
    UserAlert() = delete;
};
