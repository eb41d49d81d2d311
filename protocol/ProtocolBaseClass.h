#pragma once

#include "firmware/FirmwareImage.h"
#include "midi/InterfaceBaseClass.h"
#include "protocol/ProgressClass.h"

/** A device protocol: a worker thread ("Protocol Thread") that talks to the
    device through a link, and a progress broadcaster the panel listens to.
    It points to the link and the image; it owns neither. */
class ProtocolBaseClass : public juce::Thread, public ProgressClass
{
public:
    ProtocolBaseClass (InterfaceBaseClass* link, FirmwareImage* image);
    ~ProtocolBaseClass() override;

    void run() override = 0;

    /** Starts an upload unless one is running (message thread only). */
    virtual void start();

protected:
    InterfaceBaseClass* link;
    FirmwareImage* image;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProtocolBaseClass)
};
