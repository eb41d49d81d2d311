#pragma once

#include "midi/MidiOutputPort.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>
#include <optional>

// ALSA's rawmidi handle, declared here so that users of this header do not
// pull in the whole of alsa/asoundlib.h.
struct _snd_rawmidi;

/** A sound card's MIDI output (Linux only), written through its ALSA rawmidi
    device instead of the sequencer.

    JUCE sends through the ALSA sequencer, whose bridge to a card's MIDI port
    (the kernel's snd-seq-midi) keeps a 4 KiB buffer, drops whatever does not
    fit and tells nobody. A pedal that reads slower than the updater sends
    then gets damaged messages while the upload ends in "Update completed".
    The rawmidi device pushes back instead: a send here hands over every byte,
    waiting while the device is busy, then waits until the device has taken
    them all (the buffer is empty, then snd_rawmidi_drain). The time that
    takes counts toward the upload's pause, as it does on Windows. Any error
    makes the send fail, and an unplugged device is noticed within
    pollIntervalMs.

    The port is opened exclusively for as long as this object lives.
*/
class AlsaRawMidiOutputPort : public MidiOutputPort
{
public:
    /** A sequencer port, as JUCE's ALSA identifier "client-port" names it. */
    struct SequencerAddress
    {
        int client = -1;
        int port = -1;
    };

    /** A rawmidi subdevice, as amidi -l shows it: hw:card,device,subdevice. */
    struct RawMidiAddress
    {
        int card = -1;
        int device = -1;
        int subdevice = -1;
    };

    /** Longest time a send waits for the device to take another byte before it
        counts as failed; the kernel's own drain gives up after the same time. */
    static constexpr int stallTimeoutMs = 10000;

    /** How often a waiting send asks whether the device is still there. */
    static constexpr int pollIntervalMs = 50;

    ~AlsaRawMidiOutputPort() override;

    /** Finds the rawmidi output behind the sequencer port that JUCE lists with
        this identifier. Only a port of a sound card's MIDI device (a kernel
        client with a card number, made by snd-seq-midi) has one; software
        clients, synthesizers and anything that cannot be identified give none. */
    static std::optional<RawMidiAddress> findRawMidiOutput (const juce::String& juceIdentifier);

    /** Opens that rawmidi output for sending; null when it cannot be opened
        (it is in use elsewhere, or the device has gone). Never waits for a
        busy device. */
    static std::unique_ptr<AlsaRawMidiOutputPort> open (const RawMidiAddress& address);

    /** Writes all bytes, then waits until the device has taken them. Returns
        false on any error, including a device that takes nothing for
        stallTimeoutMs or that was unplugged. */
    bool sendMessageNow (const juce::uint8* data, int numBytes) override;

    /** The sequencer address in a JUCE ALSA identifier ("20-0"); none when the
        text is not exactly two non-negative decimal numbers joined by '-'. */
    static std::optional<SequencerAddress> parseJuceIdentifier (const juce::String& identifier);

    /** The rawmidi subdevice behind a port of snd-seq-midi's client for this
        card, which numbers its ports device * 32 + subdevice (as aconnect -l
        shows them). None for a negative card or a port outside 0..255. */
    static std::optional<RawMidiAddress> rawMidiAddressOfPort (int card, int sequencerPort);

    /** The ALSA name that opens this subdevice, "hw:card,device,subdevice". */
    static juce::String deviceName (const RawMidiAddress& address);

    /** True for the port type that snd-seq-midi gives a card's MIDI port
        (generic MIDI, hardware, connects to a device), false for software
        ports such as snd-virmidi's and for synthesizers. */
    static bool isHardwareMidiPortType (unsigned int portType);

    /** True when portName is one that snd-seq-midi gives the port of this
        rawmidi subdevice: the subdevice's name, else the device's name (with
        "-subdevice" when it has several), else "MIDI card-device[-subdevice]".
        Another kernel client whose port number happens to match a subdevice
        (a synthesizer, a virtual MIDI port) fails this. */
    static bool isSeqMidiPortName (const juce::String& portName, const juce::String& rawMidiDeviceName,
                                   const juce::String& subdeviceName, const RawMidiAddress& address);

    /** The send loop, without ALSA, so tests can drive it: calls write with
        the bytes not yet taken until all are. write returns how many it took
        (0 when the device is full) or a negative error; waitUntilWritable is
        called when nothing was taken and returns false on error or timeout.
        Returns true once every byte was taken. */
    static bool writeFully (const juce::uint8* data, size_t numBytes,
                            const std::function<long (const juce::uint8*, size_t)>& write,
                            const std::function<bool()>& waitUntilWritable);

private:
    AlsaRawMidiOutputPort (_snd_rawmidi* handle, size_t bufferSize);

    /** Waits until the device's buffer is empty; false when the device is gone
        or has taken nothing for stallTimeoutMs. */
    bool waitUntilTaken();

    _snd_rawmidi* handle = nullptr;
    size_t bufferSize = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlsaRawMidiOutputPort)
};
