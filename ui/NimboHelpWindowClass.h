#pragma once

#include "ui/HelpWindowbaseClass.h"

/** The "Firmware Update Help" window with the written update procedure;
    created hidden, sized and shown by the panel. */
class NimboHelpWindowClass : public HelpWindowbaseClass
{
public:
    NimboHelpWindowClass();

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (NimboHelpWindowClass)
};
