#include "midi/AlsaSequencerPortResolver.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

namespace
{
namespace Resolver = AlsaSequencerPortResolver;

void expectAddress (const std::optional<Resolver::RawMidiAddress>& address, int card, int device, int subdevice)
{
    ASSERT_TRUE (address.has_value());
    EXPECT_EQ (address->card, card);
    EXPECT_EQ (address->device, device);
    EXPECT_EQ (address->subdevice, subdevice);
}
} // namespace

TEST (AlsaSequencerPortResolver, ParsesJuceIdentifiersOfTheFormClientDashPort)
{
    auto address = Resolver::parseJuceIdentifier ("20-0");
    ASSERT_TRUE (address.has_value());
    EXPECT_EQ (address->client, 20);
    EXPECT_EQ (address->port, 0);

    address = Resolver::parseJuceIdentifier ("0-0");
    ASSERT_TRUE (address.has_value());
    EXPECT_EQ (address->client, 0);
    EXPECT_EQ (address->port, 0);

    // Formed the way JUCE 7 forms them: String (client) + "-" + String (port).
    for (int client : { 14, 16, 24, 128, 191 })
        for (int port : { 0, 1, 31, 32, 255 })
        {
            address = Resolver::parseJuceIdentifier (juce::String (client) + "-" + juce::String (port));
            ASSERT_TRUE (address.has_value()) << client << "-" << port;
            EXPECT_EQ (address->client, client);
            EXPECT_EQ (address->port, port);
        }
}

TEST (AlsaSequencerPortResolver, RefusesIdentifiersThatAreNotClientDashPort)
{
    for (auto* text : { "", "20", "20-", "-0", "-", "20-0-1", "a-0", "20-b", "20- 0", " 20-0", "20-0 ", "+20-0",
                        "20-+0", "20-0x", "0x14-0", "20:0", "1234567890-0", "20-1234567890" })
        EXPECT_FALSE (Resolver::parseJuceIdentifier (text).has_value()) << "'" << text << "'";
}

TEST (AlsaSequencerPortResolver, MapsSequencerPortsToRawMidiSubdevicesAsSndSeqMidiNumbersThem)
{
    expectAddress (Resolver::rawMidiAddressOfPort (1, 0), 1, 0, 0);
    expectAddress (Resolver::rawMidiAddressOfPort (1, 1), 1, 0, 1);
    expectAddress (Resolver::rawMidiAddressOfPort (3, 31), 3, 0, 31);
    expectAddress (Resolver::rawMidiAddressOfPort (3, 32), 3, 1, 0);
    expectAddress (Resolver::rawMidiAddressOfPort (0, 65), 0, 2, 1);
    expectAddress (Resolver::rawMidiAddressOfPort (7, 255), 7, 7, 31);

    EXPECT_FALSE (Resolver::rawMidiAddressOfPort (1, 256).has_value()) << "a card has 8 rawmidi devices";
    EXPECT_FALSE (Resolver::rawMidiAddressOfPort (1, -1).has_value());
    EXPECT_FALSE (Resolver::rawMidiAddressOfPort (-1, 0).has_value()) << "no card: a software client";
}

TEST (AlsaSequencerPortResolver, NamesTheSubdeviceForSndRawMidiOpen)
{
    EXPECT_EQ (Resolver::deviceName ({ 1, 0, 0 }), "hw:1,0,0");
    EXPECT_EQ (Resolver::deviceName ({ 12, 3, 17 }), "hw:12,3,17");
}

TEST (AlsaSequencerPortResolver, TakesOnlySndSeqMidiHardwarePortTypes)
{
    // The types the kernel's clients give their ports (snd-virmidi's and
    // "Midi Through"'s read back as 0xa0002 from a running kernel).
    const unsigned int sndSeqMidi =
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT;
    const unsigned int virMidi = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_PORT;
    const unsigned int fmSynth = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_MIDI_GM | SND_SEQ_PORT_TYPE_HARDWARE
                                 | SND_SEQ_PORT_TYPE_SYNTHESIZER;
    const unsigned int application = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;

    EXPECT_TRUE (Resolver::isHardwareMidiPortType (sndSeqMidi));
    EXPECT_TRUE (Resolver::isHardwareMidiPortType (sndSeqMidi | SND_SEQ_PORT_TYPE_MIDI_GM));

    EXPECT_FALSE (Resolver::isHardwareMidiPortType (virMidi));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (fmSynth));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (fmSynth | SND_SEQ_PORT_TYPE_PORT));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (application));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (sndSeqMidi | SND_SEQ_PORT_TYPE_SYNTH));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (sndSeqMidi & ~(unsigned int) SND_SEQ_PORT_TYPE_PORT));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (sndSeqMidi & ~(unsigned int) SND_SEQ_PORT_TYPE_HARDWARE));
    EXPECT_FALSE (Resolver::isHardwareMidiPortType (0));
}

TEST (AlsaSequencerPortResolver, RecognisesThePortNamesSndSeqMidiGives)
{
    const Resolver::RawMidiAddress first { 2, 0, 0 }, second { 2, 0, 1 };

    // The subdevice's own name wins whenever it has one (USB MIDI: "<product> MIDI n").
    EXPECT_TRUE (Resolver::isSeqMidiPortName ("Test Pedal MIDI 1", "Test Pedal", "Test Pedal MIDI 1", first));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("Test Pedal MIDI 2", "Test Pedal", "Test Pedal MIDI 1", first));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("Test Pedal", "Test Pedal", "Test Pedal MIDI 1", first))
        << "with a subdevice name, the device name is not used";

    // Then the device's name, with "-subdevice" when there are several.
    EXPECT_TRUE (Resolver::isSeqMidiPortName ("MPU-401 UART", "MPU-401 UART", "", first));
    EXPECT_TRUE (Resolver::isSeqMidiPortName ("MPU-401 UART-1", "MPU-401 UART", "", second));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("MPU-401 UART-1", "MPU-401 UART", "", first));

    // Then "MIDI card-device[-subdevice]".
    EXPECT_TRUE (Resolver::isSeqMidiPortName ("MIDI 2-0", "", "", first));
    EXPECT_TRUE (Resolver::isSeqMidiPortName ("MIDI 2-0-1", "", "", second));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("MIDI 2-0-1", "", "", first));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("MIDI 3-0", "", "", first));

    // Other kernel clients of the same card whose port number matches a subdevice.
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("VirMIDI 2-1", "VirMidi", "", first));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("OPL3 Port", "MPU-401 UART", "", first));
    EXPECT_FALSE (Resolver::isSeqMidiPortName ("", "", "", first));
}

TEST (AlsaSequencerPortResolver, FindsNoRawMidiDeviceForSoftwarePortsOrBadIdentifiers)
{
    // 14-0 is "Midi Through" where there is a sequencer: a kernel client with
    // no card. Without a sequencer (build machines) nothing is found either.
    EXPECT_FALSE (Resolver::findRawMidiOutput ("14-0").has_value());
    EXPECT_FALSE (Resolver::findRawMidiOutput ("").has_value());
    EXPECT_FALSE (Resolver::findRawMidiOutput ("not-an-identifier").has_value());
}
