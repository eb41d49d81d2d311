#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/** Finds the ALSA rawmidi device behind a sequencer port that JUCE lists
    (Linux only).

    JUCE sends through the sequencer; for a sound card's MIDI port the
    program writes to the card's rawmidi device instead (see
    AlsaRawMidiOutputPort). Only the ports that the kernel's snd-seq-midi
    makes for a card's MIDI device have one; the rules below are the kernel's
    own naming and numbering, so that no other client's port is ever taken
    for a card's.
*/
namespace AlsaSequencerPortResolver
{
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

/** The rawmidi output behind the sequencer port that JUCE lists with this
    identifier; none for software clients, synthesizers, ports that are gone
    and anything that cannot be identified. Asks the running sequencer. */
std::optional<RawMidiAddress> findRawMidiOutput (const juce::String& juceIdentifier);

/** The sequencer address in a JUCE ALSA identifier ("20-0"); none when the
    text is not exactly two non-negative decimal numbers joined by '-'. */
std::optional<SequencerAddress> parseJuceIdentifier (const juce::String& identifier);

/** The rawmidi subdevice behind a port of snd-seq-midi's client for this
    card, which numbers its ports device * 32 + subdevice (as aconnect -l
    shows them). None for a negative card or a port outside 0..255. */
std::optional<RawMidiAddress> rawMidiAddressOfPort (int card, int sequencerPort);

/** The ALSA name that opens this subdevice, "hw:card,device,subdevice". */
juce::String deviceName (const RawMidiAddress& address);

/** True for the port type that snd-seq-midi gives a card's MIDI port
    (generic MIDI, hardware, connects to a device), false for software ports
    such as snd-virmidi's and for synthesizers. */
bool isHardwareMidiPortType (unsigned int portType);

/** True when portName is one that snd-seq-midi gives the port of this
    rawmidi subdevice: the subdevice's name, else the device's name (with
    "-subdevice" when it has several), else "MIDI card-device[-subdevice]".
    Another kernel client whose port number happens to match a subdevice (a
    synthesizer, a virtual MIDI port) fails this. */
bool isSeqMidiPortName (const juce::String& portName, const juce::String& rawMidiDeviceName,
                        const juce::String& subdeviceName, const RawMidiAddress& address);
} // namespace AlsaSequencerPortResolver
