#pragma once

#include "midi/RawMidiDevice.h"

#include <memory>
#include <vector>

// ALSA's rawmidi handle, declared here so that users of this header do not
// pull in the whole of alsa/asoundlib.h.
struct _snd_rawmidi;
struct pollfd;

/** A sound card's rawmidi output, opened through ALSA for sending (Linux only).
    Opened exclusively and without blocking, for as long as this object lives;
    closing drops whatever is still buffered. */
class AlsaRawMidiDevice : public RawMidiDevice
{
public:
    /** Opens the device that ALSA knows by this name ("hw:1,0,0"). Null when it
        cannot be opened, with error set to the negative errno (-EBUSY when
        another program holds it). Never waits for a busy device. */
    static std::unique_ptr<AlsaRawMidiDevice> open (const juce::String& deviceName, int& error);

    ~AlsaRawMidiDevice() override;

    long write (const juce::uint8* data, size_t count) override;
    long freeSpace() override;
    size_t bufferSize() const override { return buffer; }
    int waitForSpace (int timeoutMs) override;
    int drain() override;
    void drop() override;

private:
    AlsaRawMidiDevice (_snd_rawmidi* handle, size_t bufferSize);

    _snd_rawmidi* handle = nullptr;
    size_t buffer = 0;
    std::vector<pollfd> descriptors;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlsaRawMidiDevice)
};
