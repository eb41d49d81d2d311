#include "protocol/ProtocolBaseClass.h"

ProtocolBaseClass::ProtocolBaseClass (InterfaceBaseClass* linkToUse, FirmwareImage* imageToUse)
    : juce::Thread ("Protocol Thread"), link (linkToUse), image (imageToUse)
{
}

ProtocolBaseClass::~ProtocolBaseClass() = default;

void ProtocolBaseClass::start()
{
    if (! isThreadRunning())
    {
        setUploadOutcome (UploadOutcome::none);
        setProgress (0.0);
        startThread();
    }
    else if (getProgress() == 1.0)
    {
        setProgress (0.0);
    }
}
