#include "midi/AlsaRawMidiDevice.h"

#include "midi/AlsaInfo.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <poll.h>

std::unique_ptr<AlsaRawMidiDevice> AlsaRawMidiDevice::open (const juce::String& deviceName, int& error)
{
    snd_rawmidi_t* output = nullptr;

    // Non-blocking: a blocking open of a device that someone else holds waits
    // until they let go, on the message thread. Writes stay non-blocking too,
    // so that a send can notice an unplugged or stalled device and a stop.
    error = snd_rawmidi_open (nullptr, &output, deviceName.toRawUTF8(), SND_RAWMIDI_NONBLOCK);

    if (error < 0)
        return {};

    AlsaInfo<snd_rawmidi_params_t, snd_rawmidi_params_free> params (snd_rawmidi_params_malloc);
    size_t bufferSize = 0;

    // The kernel sends an Active Sensing byte on closing unless told not to:
    // a stray byte the pedal would read as part of the update. With avail_min
    // at the largest value ALSA takes, one below the buffer size, the device
    // counts as writable (poll) only once it has taken all but one byte.
    if (params.info == nullptr || (error = snd_rawmidi_params_current (output, params.info)) < 0
        || (error = snd_rawmidi_params_set_no_active_sensing (output, params.info, 1)) < 0
        || (bufferSize = snd_rawmidi_params_get_buffer_size (params.info)) < 2
        || (error = snd_rawmidi_params_set_avail_min (output, params.info, bufferSize - 1)) < 0
        || (error = snd_rawmidi_params (output, params.info)) < 0)
    {
        if (error >= 0)
            error = -ENOMEM;

        snd_rawmidi_close (output);
        return {};
    }

    std::unique_ptr<AlsaRawMidiDevice> device (new AlsaRawMidiDevice (output, bufferSize));
    const int count = snd_rawmidi_poll_descriptors_count (output);

    if (count <= 0)
    {
        error = -EIO;
        return {};
    }

    device->descriptors.resize ((size_t) count);

    if (snd_rawmidi_poll_descriptors (output, device->descriptors.data(), (unsigned int) count) != count)
    {
        error = -EIO;
        return {};
    }

    return device;
}

AlsaRawMidiDevice::AlsaRawMidiDevice (_snd_rawmidi* handleToUse, size_t bufferSizeToUse)
    : handle (handleToUse), buffer (bufferSizeToUse)
{
    jassert (handle != nullptr);
}

AlsaRawMidiDevice::~AlsaRawMidiDevice()
{
    // Closing waits until the device has taken what is still buffered, for up
    // to 10 s. After a completed send nothing is, and a send that was given up
    // has dropped its rest already (unless the device is gone, when ALSA
    // refuses to drop and would only print so on stderr).
    snd_rawmidi_close (handle);
}

long AlsaRawMidiDevice::write (const juce::uint8* data, size_t count)
{
    const auto result = snd_rawmidi_write (handle, data, count);
    return result == -EAGAIN ? 0 : (long) result;
}

long AlsaRawMidiDevice::freeSpace()
{
    AlsaInfo<snd_rawmidi_status_t, snd_rawmidi_status_free> status (snd_rawmidi_status_malloc);

    if (status.info == nullptr)
        return -ENOMEM;

    // Fails at once (ENODEV) when the device has been unplugged.
    if (const int error = snd_rawmidi_status (handle, status.info); error < 0)
        return error;

    return (long) snd_rawmidi_status_get_avail (status.info);
}

int AlsaRawMidiDevice::waitForSpace (int timeoutMs)
{
    // Woken when all but one byte are taken (avail_min). An unplug need not
    // wake anybody, which is why callers ask freeSpace again after every wait.
    if (poll (descriptors.data(), (nfds_t) descriptors.size(), timeoutMs) < 0 && errno != EINTR)
        return -errno;

    unsigned short events = 0;

    if (const int error = snd_rawmidi_poll_descriptors_revents (handle, descriptors.data(),
                                                                (unsigned int) descriptors.size(), &events);
        error < 0)
        return error;

    // What the kernel answers for a card that has been unplugged.
    return (events & (POLLERR | POLLHUP | POLLNVAL)) != 0 ? -ENODEV : 0;
}

int AlsaRawMidiDevice::drain() { return snd_rawmidi_drain (handle); }

void AlsaRawMidiDevice::drop() { snd_rawmidi_drop (handle); }
