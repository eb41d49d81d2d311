#pragma once

#include "midi/OpenResult.h"
#include "midi/WinMmOutputDevice.h"

#include <memory>
#include <vector>

/** A WinMM MIDI output device opened for WinMmMidiOutputPort (Windows only).

    The driver reports a message done through an event (CALLBACK_EVENT), so
    a send waits on it instead of polling the header. Closing resets the
    device first when a message is still queued, which returns it. */
class WinMmSystemOutputDevice : public WinMmOutputDevice
{
public:
    /** Opens WinMM output device deviceId; null when WinMM refused, with
        problem and detail saying why (busy: another program has it; gone: no
        such device any more). */
    static std::unique_ptr<WinMmSystemOutputDevice> open (unsigned int deviceId, OpenProblem& problem,
                                                          juce::String& detail);

    ~WinMmSystemOutputDevice() override;

    int startMessage (const juce::uint8* data, int numBytes) override;
    bool messageDone() override;
    void waitForDone (int timeoutMs) override;
    void reset() override;
    FinishResult finishMessage() override;

private:
    struct Native;

    explicit WinMmSystemOutputDevice (std::unique_ptr<Native> native);

    std::unique_ptr<Native> native;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WinMmSystemOutputDevice)
};
