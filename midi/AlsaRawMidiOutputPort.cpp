#include "midi/AlsaRawMidiOutputPort.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>
#include <vector>

namespace
{
// snd-seq-midi numbers a card's ports device * (256 / SNDRV_RAWMIDI_DEVICES)
// + subdevice, with 8 rawmidi devices per card.
constexpr int portsPerRawMidiDevice = 32;
constexpr int rawMidiDevicesPerCard = 8;

// ALSA's info records, freed with the matching _free function.
template <typename Info, void (*freeInfo) (Info*)>
struct AlsaInfo
{
    Info* info = nullptr;

    explicit AlsaInfo (int (*mallocInfo) (Info**))
    {
        if (mallocInfo (&info) < 0)
            info = nullptr;
    }

    ~AlsaInfo()
    {
        if (info != nullptr)
            freeInfo (info);
    }

    AlsaInfo (const AlsaInfo&) = delete;
    AlsaInfo& operator= (const AlsaInfo&) = delete;
};

std::optional<int> parseDecimal (const juce::String& text)
{
    // Only plain digits: no sign, no blanks, nothing after; at most 9 of them
    // so the value always fits an int.
    if (text.isEmpty() || text.length() > 9 || ! text.containsOnly ("0123456789"))
        return {};

    return text.getIntValue();
}
} // namespace

AlsaRawMidiOutputPort::AlsaRawMidiOutputPort (_snd_rawmidi* handleToUse, size_t bufferSizeToUse)
    : handle (handleToUse), bufferSize (bufferSizeToUse)
{
    jassert (handle != nullptr);
}

AlsaRawMidiOutputPort::~AlsaRawMidiOutputPort()
{
    // Closing waits until the device has taken what is still buffered, for
    // up to 10 s. After a successful send nothing is; after a failed one the
    // rest is thrown away, so a device that has stopped reading does not
    // hold up closing the port.
    snd_rawmidi_drop (handle);
    snd_rawmidi_close (handle);
}

std::optional<AlsaRawMidiOutputPort::RawMidiAddress>
    AlsaRawMidiOutputPort::findRawMidiOutput (const juce::String& juceIdentifier)
{
    const auto sequencerAddress = parseJuceIdentifier (juceIdentifier);

    if (! sequencerAddress.has_value())
        return {};

    // A sequencer handle of our own, only for these questions: JUCE keeps its
    // own to itself.
    snd_seq_t* sequencer = nullptr;

    if (snd_seq_open (&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return {};

    const std::unique_ptr<snd_seq_t, int (*) (snd_seq_t*)> sequencerCloser (sequencer, snd_seq_close);

    AlsaInfo<snd_seq_client_info_t, snd_seq_client_info_free> client (snd_seq_client_info_malloc);
    AlsaInfo<snd_seq_port_info_t, snd_seq_port_info_free> port (snd_seq_port_info_malloc);

    if (client.info == nullptr || port.info == nullptr)
        return {};

    if (snd_seq_get_any_client_info (sequencer, sequencerAddress->client, client.info) < 0
        || snd_seq_get_any_port_info (sequencer, sequencerAddress->client, sequencerAddress->port, port.info) < 0)
        return {};

    // Only the kernel's clients of a sound card have a card number; an
    // application's port (and "Midi Through") has -1 and stays with JUCE.
    const int card = snd_seq_client_info_get_card (client.info);

    if (card < 0 || ! isHardwareMidiPortType (snd_seq_port_info_get_type (port.info)))
        return {};

    const auto rawMidi = rawMidiAddressOfPort (card, sequencerAddress->port);

    if (! rawMidi.has_value())
        return {};

    snd_ctl_t* control = nullptr;

    if (snd_ctl_open (&control, ("hw:" + juce::String (card)).toRawUTF8(), SND_CTL_NONBLOCK) < 0)
        return {};

    const std::unique_ptr<snd_ctl_t, int (*) (snd_ctl_t*)> controlCloser (control, snd_ctl_close);

    AlsaInfo<snd_rawmidi_info_t, snd_rawmidi_info_free> info (snd_rawmidi_info_malloc);

    if (info.info == nullptr)
        return {};

    snd_rawmidi_info_set_device (info.info, (unsigned int) rawMidi->device);
    snd_rawmidi_info_set_subdevice (info.info, (unsigned int) rawMidi->subdevice);
    snd_rawmidi_info_set_stream (info.info, SND_RAWMIDI_STREAM_OUTPUT);

    if (snd_ctl_rawmidi_info (control, info.info) < 0)
        return {};

    // The port number alone could belong to another client of the same card;
    // the name shows that snd-seq-midi made this port for this subdevice.
    if (! isSeqMidiPortName (juce::String::fromUTF8 (snd_seq_port_info_get_name (port.info)),
                             juce::String::fromUTF8 (snd_rawmidi_info_get_name (info.info)),
                             juce::String::fromUTF8 (snd_rawmidi_info_get_subdevice_name (info.info)), *rawMidi))
        return {};

    return rawMidi;
}

std::unique_ptr<AlsaRawMidiOutputPort> AlsaRawMidiOutputPort::open (const RawMidiAddress& address)
{
    snd_rawmidi_t* output = nullptr;

    // Non-blocking: a blocking open of a device that someone else holds waits
    // until they let go, on the message thread. Writes stay non-blocking too,
    // so that a send can notice an unplugged or stalled device (see
    // waitUntilTaken).
    if (snd_rawmidi_open (nullptr, &output, deviceName (address).toRawUTF8(), SND_RAWMIDI_NONBLOCK) < 0)
        return {};

    AlsaInfo<snd_rawmidi_params_t, snd_rawmidi_params_free> params (snd_rawmidi_params_malloc);
    size_t bufferSize = 0;

    // The kernel sends an Active Sensing byte on closing unless told not to:
    // a stray byte the pedal would read as part of the update. With avail_min
    // at the largest value ALSA takes, one below the buffer size, the device
    // counts as writable (poll) only once it has taken all but one byte.
    if (params.info == nullptr || snd_rawmidi_params_current (output, params.info) < 0
        || snd_rawmidi_params_set_no_active_sensing (output, params.info, 1) < 0
        || (bufferSize = snd_rawmidi_params_get_buffer_size (params.info)) < 2
        || snd_rawmidi_params_set_avail_min (output, params.info, bufferSize - 1) < 0
        || snd_rawmidi_params (output, params.info) < 0)
    {
        snd_rawmidi_close (output);
        return {};
    }

    return std::unique_ptr<AlsaRawMidiOutputPort> (new AlsaRawMidiOutputPort (output, bufferSize));
}

bool AlsaRawMidiOutputPort::sendMessageNow (const juce::uint8* data, int numBytes)
{
    if (numBytes <= 0)
        return true;

    const auto write = [this] (const juce::uint8* bytes, size_t count) -> long
    {
        const auto result = snd_rawmidi_write (handle, bytes, count);
        return result == -EAGAIN ? 0 : (long) result;
    };
    const auto waitUntilWritable = [this] { return waitUntilTaken(); };

    // Then the bytes still on their way to the device (a USB device's last
    // transfers) are waited for by the kernel's drain. It is called only on
    // an empty buffer: the drain itself would notice an unplugged device
    // only after its own 10 s timeout.
    return writeFully (data, (size_t) numBytes, write, waitUntilWritable) && waitUntilTaken()
           && snd_rawmidi_drain (handle) == 0;
}

bool AlsaRawMidiOutputPort::waitUntilTaken()
{
    const int count = snd_rawmidi_poll_descriptors_count (handle);
    AlsaInfo<snd_rawmidi_status_t, snd_rawmidi_status_free> status (snd_rawmidi_status_malloc);

    if (count <= 0 || status.info == nullptr)
        return false;

    std::vector<pollfd> descriptors ((size_t) count);

    if (snd_rawmidi_poll_descriptors (handle, descriptors.data(), (unsigned int) count) != count)
        return false;

    size_t freeBytes = 0;
    auto lastProgress = juce::Time::getMillisecondCounter();

    for (;;)
    {
        // Fails at once (ENODEV) when the device has been unplugged.
        if (snd_rawmidi_status (handle, status.info) < 0)
            return false;

        const auto nowFree = snd_rawmidi_status_get_avail (status.info);

        if (nowFree >= bufferSize)
            return true;

        const auto now = juce::Time::getMillisecondCounter();

        if (nowFree > freeBytes)
        {
            freeBytes = nowFree;
            lastProgress = now;
        }
        else if (now - lastProgress >= (juce::uint32) stallTimeoutMs)
        {
            return false;
        }

        // With one byte left, poll would return at once: that byte is
        // waited for with short sleeps instead.
        if (nowFree + 1 >= bufferSize)
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
            continue;
        }

        // Woken when all but one byte are taken (avail_min). An unplug wakes
        // nobody, so the status is asked again at least every pollIntervalMs.
        if (poll (descriptors.data(), (nfds_t) count, pollIntervalMs) < 0 && errno != EINTR)
            return false;

        unsigned short events = 0;

        if (snd_rawmidi_poll_descriptors_revents (handle, descriptors.data(), (unsigned int) count, &events) < 0
            || (events & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return false;
    }
}

std::optional<AlsaRawMidiOutputPort::SequencerAddress>
    AlsaRawMidiOutputPort::parseJuceIdentifier (const juce::String& identifier)
{
    // JUCE 7 forms it as String (client) + "-" + String (port).
    const int dash = identifier.indexOfChar ('-');

    if (dash < 0)
        return {};

    const auto client = parseDecimal (identifier.substring (0, dash));
    const auto port = parseDecimal (identifier.substring (dash + 1));

    if (! client.has_value() || ! port.has_value())
        return {};

    return SequencerAddress { *client, *port };
}

std::optional<AlsaRawMidiOutputPort::RawMidiAddress> AlsaRawMidiOutputPort::rawMidiAddressOfPort (int card,
                                                                                                  int sequencerPort)
{
    if (card < 0 || sequencerPort < 0 || sequencerPort >= portsPerRawMidiDevice * rawMidiDevicesPerCard)
        return {};

    return RawMidiAddress { card, sequencerPort / portsPerRawMidiDevice, sequencerPort % portsPerRawMidiDevice };
}

juce::String AlsaRawMidiOutputPort::deviceName (const RawMidiAddress& address)
{
    return "hw:" + juce::String (address.card) + "," + juce::String (address.device) + ","
           + juce::String (address.subdevice);
}

bool AlsaRawMidiOutputPort::isHardwareMidiPortType (unsigned int portType)
{
    constexpr unsigned int required =
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT;
    constexpr unsigned int excluded = SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_SYNTHESIZER
                                      | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;

    return (portType & required) == required && (portType & excluded) == 0;
}

bool AlsaRawMidiOutputPort::isSeqMidiPortName (const juce::String& portName, const juce::String& rawMidiDeviceName,
                                               const juce::String& subdeviceName, const RawMidiAddress& address)
{
    if (portName.isEmpty())
        return false;

    // snd-seq-midi takes the first of these that is not empty.
    if (subdeviceName.isNotEmpty())
        return portName == subdeviceName;

    const auto subdeviceSuffix = "-" + juce::String (address.subdevice);

    if (rawMidiDeviceName.isNotEmpty())
        return portName == rawMidiDeviceName || portName == rawMidiDeviceName + subdeviceSuffix;

    const auto fallback = "MIDI " + juce::String (address.card) + "-" + juce::String (address.device);
    return portName == fallback || portName == fallback + subdeviceSuffix;
}

bool AlsaRawMidiOutputPort::writeFully (const juce::uint8* data, size_t numBytes,
                                        const std::function<long (const juce::uint8*, size_t)>& write,
                                        const std::function<bool()>& waitUntilWritable)
{
    size_t taken = 0;

    while (taken < numBytes)
    {
        const auto result = write (data + taken, numBytes - taken);

        if (result < 0 || (size_t) result > numBytes - taken)
            return false;

        if (result == 0)
        {
            if (! waitUntilWritable())
                return false;

            continue;
        }

        taken += (size_t) result;
    }

    return true;
}
