#include "ui/NimboHelpWindowClass.h"

#include "ui/NimboHelpWindowContentComp.h"

NimboHelpWindowClass::NimboHelpWindowClass()
{
    auto content = std::make_unique<NimboHelpWindowContentComp>();
    setResizable (true, false);
    setContentOwned (content.release(), false);
    setName ("Firmware Update Help");
}
