#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The help window's content: the update procedure in a read-only,
    multi-line text editor that fills the whole area. */
class NimboHelpWindowContentComp : public juce::Component
{
public:
    NimboHelpWindowContentComp();
    ~NimboHelpWindowContentComp() override;

    void resized() override;

    /** The update procedure as shown to the user. */
    static const char* const helpText;

    juce::TextEditor& getEditor() noexcept { return *editor; }

private:
    juce::TooltipWindow tooltipWindow;
    std::unique_ptr<juce::TextEditor> editor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (NimboHelpWindowContentComp)
};
