#include "ui/UserAlert.h"

UserAlert::Function UserAlert::modalBox()
{
    return [] (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message)
    { juce::AlertWindow::showMessageBox (icon, title, message, {}, nullptr); };
}
