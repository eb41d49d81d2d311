#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The frame of a help window: a top-level window whose close button only
    hides it, so the program keeps running and the window can be shown again. */
class HelpWindowbaseClass : public juce::DocumentWindow
{
public:
    HelpWindowbaseClass();
    ~HelpWindowbaseClass() override;

    void closeButtonPressed() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HelpWindowbaseClass)
};
