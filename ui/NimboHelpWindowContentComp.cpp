#include "ui/NimboHelpWindowContentComp.h"

const char* const NimboHelpWindowContentComp::helpText =
    "Firmware Update Procedure. \n"
    "The procedure requires a PC or Mac with a standard USB Interface and the specified DC power supply. \n"
    "\n"
    "Do following steps before you start the firmware update application on your PC or Mac: \n"
    " 1. Unplug all cables from the pedal. \n"
    " 2. Connect the pedal to a PC or Mac with the USB cable. \n"
    " 3. Press and hold the leftmost footswitch on the pedal. \n"
    " 4. Insert the DC power supply plug. \n"
    " 5. Check that the LED on the pedal turns on with green light. \n"
    " 6. Release the footswitch. \n"
    "\n"
    "Now your PC or Mac will recognize the pedal which is ready to receive a new firmware: \n"
    " 7. Launch the firmware update application. \n"
    " 8. (STEP1) Select the pedal in the combo box (see note). \n"
    " 9. (STEP2) Press the update button when it turns green. \n"
    "10. Wait for the progress bar to reach 100% and for the pedal to automatically restart. \n"
    "\n"
    "Note: You should select \"USB Audio Device\", if you use Windows XP.\n"
    "\n"
    "\n"
    "Trouble Shooting:\n"
    " - Please quit any MIDI related application on your PC or Mac.\n";

NimboHelpWindowContentComp::NimboHelpWindowContentComp()
{
    editor = std::make_unique<juce::TextEditor> (juce::String(), 0);
    addAndMakeVisible (*editor);
    editor->setMultiLine (true);
    editor->setReadOnly (true);
    editor->setText (helpText, true);
}

NimboHelpWindowContentComp::~NimboHelpWindowContentComp() { editor.reset(); }

void NimboHelpWindowContentComp::resized() { editor->setBounds (0, 0, getWidth(), getHeight()); }
