#include "midi/WinMmSystemOutputDevice.h"

#include <windows.h>

// After windows.h, whose types it uses.
#include <mmsystem.h>

struct WinMmSystemOutputDevice::Native
{
    HMIDIOUT handle = nullptr;
    HANDLE doneEvent = nullptr;
    MIDIHDR header {};
    std::vector<char> bytes;
    bool prepared = false;
};

namespace
{
juce::String errorText (MMRESULT error)
{
    WCHAR text[MAXERRORLENGTH] = {};

    if (midiOutGetErrorTextW (error, text, MAXERRORLENGTH) == MMSYSERR_NOERROR && text[0] != 0)
        return juce::String (text);

    return "WinMM error " + juce::String ((int) error);
}
} // namespace

std::unique_ptr<WinMmSystemOutputDevice> WinMmSystemOutputDevice::open (unsigned int deviceId, OpenProblem& problem,
                                                                        juce::String& detail)
{
    auto native = std::make_unique<Native>();

    // Auto-reset: each wait sees what the driver reported since the last one.
    native->doneEvent = CreateEventW (nullptr, FALSE, FALSE, nullptr);

    if (native->doneEvent == nullptr)
    {
        problem = OpenProblem::failed;
        detail = "cannot create an event";
        return nullptr;
    }

    const auto result = midiOutOpen (&native->handle, deviceId, (DWORD_PTR) native->doneEvent, 0, CALLBACK_EVENT);

    if (result != MMSYSERR_NOERROR)
    {
        CloseHandle (native->doneEvent);
        problem = result == MMSYSERR_ALLOCATED                                      ? OpenProblem::busy
                  : (result == MMSYSERR_BADDEVICEID || result == MMSYSERR_NODRIVER) ? OpenProblem::gone
                                                                                    : OpenProblem::failed;
        detail = errorText (result);
        return nullptr;
    }

    problem = OpenProblem::none;
    return std::unique_ptr<WinMmSystemOutputDevice> (new WinMmSystemOutputDevice (std::move (native)));
}

WinMmSystemOutputDevice::WinMmSystemOutputDevice (std::unique_ptr<Native> nativeToUse)
    : native (std::move (nativeToUse))
{
}

WinMmSystemOutputDevice::~WinMmSystemOutputDevice()
{
    // A reset is only for a message still queued: it also sends "all sound
    // off" and "sustain off" on all 16 channels (Wine does; Windows sends
    // note-offs), bytes a pedal in update mode has no use for.
    if (native->prepared && ! messageDone())
        midiOutReset (native->handle);

    for (int attempt = 0; native->prepared && attempt < 50; ++attempt)
        if (finishMessage() == FinishResult::stillPlaying)
            Sleep (2);

    const bool closed = midiOutClose (native->handle) == MMSYSERR_NOERROR;

    // A driver that still holds the message could write to its header later:
    // it stays allocated, with its event, for the rest of the process.
    if (native->prepared || ! closed)
    {
        auto* kept = native.release();
        juce::ignoreUnused (kept);
        return;
    }

    CloseHandle (native->doneEvent);
}

int WinMmSystemOutputDevice::startMessage (const juce::uint8* data, int numBytes)
{
    // The driver still has the last message: its header must not be touched.
    if (native->prepared)
        return (int) MMSYSERR_ERROR;

    native->bytes.assign (data, data + numBytes);
    native->header = {};
    native->header.lpData = native->bytes.data();
    native->header.dwBufferLength = (DWORD) numBytes;
    native->header.dwBytesRecorded = (DWORD) numBytes;

    if (const auto result = midiOutPrepareHeader (native->handle, &native->header, sizeof (MIDIHDR));
        result != MMSYSERR_NOERROR)
        return (int) result;

    native->prepared = true;
    ResetEvent (native->doneEvent);

    if (const auto result = midiOutLongMsg (native->handle, &native->header, sizeof (MIDIHDR));
        result != MMSYSERR_NOERROR)
    {
        if (midiOutUnprepareHeader (native->handle, &native->header, sizeof (MIDIHDR)) == MMSYSERR_NOERROR)
            native->prepared = false;

        return (int) result;
    }

    return 0;
}

bool WinMmSystemOutputDevice::messageDone()
{
    // The driver sets the flag on a thread of its own.
    return (static_cast<volatile DWORD&> (native->header.dwFlags) & MHDR_DONE) != 0;
}

void WinMmSystemOutputDevice::waitForDone (int timeoutMs)
{
    WaitForSingleObject (native->doneEvent, (DWORD) juce::jmax (0, timeoutMs));
}

void WinMmSystemOutputDevice::reset() { midiOutReset (native->handle); }

WinMmOutputDevice::FinishResult WinMmSystemOutputDevice::finishMessage()
{
    if (! native->prepared)
        return FinishResult::finished;

    const auto result = midiOutUnprepareHeader (native->handle, &native->header, sizeof (MIDIHDR));

    if (result == MMSYSERR_NOERROR)
    {
        native->prepared = false;
        return FinishResult::finished;
    }

    return result == MIDIERR_STILLPLAYING ? FinishResult::stillPlaying : FinishResult::failed;
}
