#include "midi/AlsaSequencerPortResolver.h"

#include "midi/AlsaInfo.h"

#include <alsa/asoundlib.h>

#include <memory>

namespace AlsaSequencerPortResolver
{
namespace
{
// snd-seq-midi numbers a card's ports device * (256 / SNDRV_RAWMIDI_DEVICES)
// + subdevice, with 8 rawmidi devices per card.
constexpr int portsPerRawMidiDevice = 32;
constexpr int rawMidiDevicesPerCard = 8;

std::optional<int> parseDecimal (const juce::String& text)
{
    // Only plain digits: no sign, no blanks, nothing after; at most 9 of them
    // so the value always fits an int.
    if (text.isEmpty() || text.length() > 9 || ! text.containsOnly ("0123456789"))
        return {};

    return text.getIntValue();
}
} // namespace

std::optional<RawMidiAddress> findRawMidiOutput (const juce::String& juceIdentifier)
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

std::optional<SequencerAddress> parseJuceIdentifier (const juce::String& identifier)
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

std::optional<RawMidiAddress> rawMidiAddressOfPort (int card, int sequencerPort)
{
    if (card < 0 || sequencerPort < 0 || sequencerPort >= portsPerRawMidiDevice * rawMidiDevicesPerCard)
        return {};

    return RawMidiAddress { card, sequencerPort / portsPerRawMidiDevice, sequencerPort % portsPerRawMidiDevice };
}

juce::String deviceName (const RawMidiAddress& address)
{
    return "hw:" + juce::String (address.card) + "," + juce::String (address.device) + ","
           + juce::String (address.subdevice);
}

bool isHardwareMidiPortType (unsigned int portType)
{
    constexpr unsigned int required =
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT;
    constexpr unsigned int excluded = SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_SYNTHESIZER
                                      | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;

    return (portType & required) == required && (portType & excluded) == 0;
}

bool isSeqMidiPortName (const juce::String& portName, const juce::String& rawMidiDeviceName,
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
} // namespace AlsaSequencerPortResolver
