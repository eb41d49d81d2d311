#include "midi/AlsaRawMidiOutputPort.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <vector>

namespace
{
using Port = AlsaRawMidiOutputPort;

void expectAddress (const std::optional<Port::RawMidiAddress>& address, int card, int device, int subdevice)
{
    ASSERT_TRUE (address.has_value());
    EXPECT_EQ (address->card, card);
    EXPECT_EQ (address->device, device);
    EXPECT_EQ (address->subdevice, subdevice);
}

/** A device that takes at most `chunk` bytes per write and, every other time,
    nothing at all (it is busy), recording what it was given. */
struct FakeDevice
{
    size_t chunk = 1000;
    bool busyEveryOtherWrite = false;
    int failOnWrite = -1; // this write (counting from 0) returns an error
    int waitsBeforeStall = -1; // waitUntilWritable fails after this many waits

    std::vector<juce::uint8> taken;
    int writes = 0;
    int waits = 0;

    long write (const juce::uint8* bytes, size_t count)
    {
        const int index = writes++;

        if (index == failOnWrite)
            return -EIO;

        if (busyEveryOtherWrite && index % 2 == 1)
            return 0;

        const auto n = std::min (count, chunk);
        taken.insert (taken.end(), bytes, bytes + n);
        return (long) n;
    }

    bool wait()
    {
        ++waits;
        return waitsBeforeStall < 0 || waits <= waitsBeforeStall;
    }

    bool send (const std::vector<juce::uint8>& message)
    {
        return Port::writeFully (
            message.data(), message.size(), [this] (const juce::uint8* b, size_t n) { return write (b, n); },
            [this] { return wait(); });
    }
};

std::vector<juce::uint8> sysex (size_t length)
{
    std::vector<juce::uint8> bytes (length);

    for (size_t i = 0; i < length; ++i)
        bytes[i] = (juce::uint8) (i % 0x7F);

    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}
} // namespace

TEST (AlsaRawMidiOutputPort, ParsesJuceIdentifiersOfTheFormClientDashPort)
{
    auto address = Port::parseJuceIdentifier ("20-0");
    ASSERT_TRUE (address.has_value());
    EXPECT_EQ (address->client, 20);
    EXPECT_EQ (address->port, 0);

    address = Port::parseJuceIdentifier ("0-0");
    ASSERT_TRUE (address.has_value());
    EXPECT_EQ (address->client, 0);
    EXPECT_EQ (address->port, 0);

    // Formed the way JUCE 7 forms them: String (client) + "-" + String (port).
    for (int client : { 14, 16, 24, 128, 191 })
        for (int port : { 0, 1, 31, 32, 255 })
        {
            address = Port::parseJuceIdentifier (juce::String (client) + "-" + juce::String (port));
            ASSERT_TRUE (address.has_value()) << client << "-" << port;
            EXPECT_EQ (address->client, client);
            EXPECT_EQ (address->port, port);
        }
}

TEST (AlsaRawMidiOutputPort, RefusesIdentifiersThatAreNotClientDashPort)
{
    for (auto* text : { "", "20", "20-", "-0", "-", "20-0-1", "a-0", "20-b", "20- 0", " 20-0", "20-0 ", "+20-0",
                        "20-+0", "20-0x", "0x14-0", "20:0", "1234567890-0", "20-1234567890" })
        EXPECT_FALSE (Port::parseJuceIdentifier (text).has_value()) << "'" << text << "'";
}

TEST (AlsaRawMidiOutputPort, MapsSequencerPortsToRawMidiSubdevicesAsSndSeqMidiNumbersThem)
{
    expectAddress (Port::rawMidiAddressOfPort (1, 0), 1, 0, 0);
    expectAddress (Port::rawMidiAddressOfPort (1, 1), 1, 0, 1);
    expectAddress (Port::rawMidiAddressOfPort (3, 31), 3, 0, 31);
    expectAddress (Port::rawMidiAddressOfPort (3, 32), 3, 1, 0);
    expectAddress (Port::rawMidiAddressOfPort (0, 65), 0, 2, 1);
    expectAddress (Port::rawMidiAddressOfPort (7, 255), 7, 7, 31);

    EXPECT_FALSE (Port::rawMidiAddressOfPort (1, 256).has_value()) << "a card has 8 rawmidi devices";
    EXPECT_FALSE (Port::rawMidiAddressOfPort (1, -1).has_value());
    EXPECT_FALSE (Port::rawMidiAddressOfPort (-1, 0).has_value()) << "no card: a software client";
}

TEST (AlsaRawMidiOutputPort, NamesTheSubdeviceForSndRawMidiOpen)
{
    EXPECT_EQ (Port::deviceName ({ 1, 0, 0 }), "hw:1,0,0");
    EXPECT_EQ (Port::deviceName ({ 12, 3, 17 }), "hw:12,3,17");
}

TEST (AlsaRawMidiOutputPort, TakesOnlySndSeqMidiHardwarePortTypes)
{
    // The types the kernel's clients give their ports (snd-virmidi's and
    // "Midi Through"'s read back as 0xa0002 from a running kernel).
    const unsigned int sndSeqMidi =
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT;
    const unsigned int virMidi = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SOFTWARE | SND_SEQ_PORT_TYPE_PORT;
    const unsigned int fmSynth = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_MIDI_GM | SND_SEQ_PORT_TYPE_HARDWARE
                                 | SND_SEQ_PORT_TYPE_SYNTHESIZER;
    const unsigned int application = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;

    EXPECT_TRUE (Port::isHardwareMidiPortType (sndSeqMidi));
    EXPECT_TRUE (Port::isHardwareMidiPortType (sndSeqMidi | SND_SEQ_PORT_TYPE_MIDI_GM));

    EXPECT_FALSE (Port::isHardwareMidiPortType (virMidi));
    EXPECT_FALSE (Port::isHardwareMidiPortType (fmSynth));
    EXPECT_FALSE (Port::isHardwareMidiPortType (fmSynth | SND_SEQ_PORT_TYPE_PORT));
    EXPECT_FALSE (Port::isHardwareMidiPortType (application));
    EXPECT_FALSE (Port::isHardwareMidiPortType (sndSeqMidi | SND_SEQ_PORT_TYPE_SYNTH));
    EXPECT_FALSE (Port::isHardwareMidiPortType (sndSeqMidi & ~(unsigned int) SND_SEQ_PORT_TYPE_PORT));
    EXPECT_FALSE (Port::isHardwareMidiPortType (sndSeqMidi & ~(unsigned int) SND_SEQ_PORT_TYPE_HARDWARE));
    EXPECT_FALSE (Port::isHardwareMidiPortType (0));
}

TEST (AlsaRawMidiOutputPort, RecognisesThePortNamesSndSeqMidiGives)
{
    const Port::RawMidiAddress first { 2, 0, 0 }, second { 2, 0, 1 };

    // The subdevice's own name wins whenever it has one (USB MIDI: "<product> MIDI n").
    EXPECT_TRUE (Port::isSeqMidiPortName ("Test Pedal MIDI 1", "Test Pedal", "Test Pedal MIDI 1", first));
    EXPECT_FALSE (Port::isSeqMidiPortName ("Test Pedal MIDI 2", "Test Pedal", "Test Pedal MIDI 1", first));
    EXPECT_FALSE (Port::isSeqMidiPortName ("Test Pedal", "Test Pedal", "Test Pedal MIDI 1", first))
        << "with a subdevice name, the device name is not used";

    // Then the device's name, with "-subdevice" when there are several.
    EXPECT_TRUE (Port::isSeqMidiPortName ("MPU-401 UART", "MPU-401 UART", "", first));
    EXPECT_TRUE (Port::isSeqMidiPortName ("MPU-401 UART-1", "MPU-401 UART", "", second));
    EXPECT_FALSE (Port::isSeqMidiPortName ("MPU-401 UART-1", "MPU-401 UART", "", first));

    // Then "MIDI card-device[-subdevice]".
    EXPECT_TRUE (Port::isSeqMidiPortName ("MIDI 2-0", "", "", first));
    EXPECT_TRUE (Port::isSeqMidiPortName ("MIDI 2-0-1", "", "", second));
    EXPECT_FALSE (Port::isSeqMidiPortName ("MIDI 2-0-1", "", "", first));
    EXPECT_FALSE (Port::isSeqMidiPortName ("MIDI 3-0", "", "", first));

    // Other kernel clients of the same card whose port number matches a subdevice.
    EXPECT_FALSE (Port::isSeqMidiPortName ("VirMIDI 2-1", "VirMidi", "", first));
    EXPECT_FALSE (Port::isSeqMidiPortName ("OPL3 Port", "MPU-401 UART", "", first));
    EXPECT_FALSE (Port::isSeqMidiPortName ("", "", "", first));
}

TEST (AlsaRawMidiOutputPort, WritesAMessageTheDeviceTakesAtOnce)
{
    FakeDevice device;
    const auto message = sysex (599);

    EXPECT_TRUE (device.send (message));
    EXPECT_EQ (device.taken, message);
    EXPECT_EQ (device.writes, 1);
    EXPECT_EQ (device.waits, 0) << "no wait while the device takes everything";
}

TEST (AlsaRawMidiOutputPort, GoesOnWhereAPartialWriteStopped)
{
    FakeDevice device;
    device.chunk = 64;
    device.busyEveryOtherWrite = true;
    const auto message = sysex (599);

    EXPECT_TRUE (device.send (message));
    EXPECT_EQ (device.taken, message) << "every byte once, in order";
    EXPECT_EQ (device.writes, 19) << "10 writes of up to 64 bytes, 9 that found the device busy";
    EXPECT_EQ (device.waits, 9) << "one wait per busy write";
}

TEST (AlsaRawMidiOutputPort, FailsWhenAWriteFails)
{
    FakeDevice device;
    device.chunk = 100;
    device.failOnWrite = 2;

    EXPECT_FALSE (device.send (sysex (599)));
    EXPECT_EQ (device.writes, 3) << "nothing more is tried after the error";
    EXPECT_EQ (device.taken.size(), 200u);
}

TEST (AlsaRawMidiOutputPort, FailsWhenTheDeviceStopsTakingBytes)
{
    FakeDevice device;
    device.chunk = 100;
    device.busyEveryOtherWrite = true;
    device.waitsBeforeStall = 2;

    EXPECT_FALSE (device.send (sysex (599)));
    EXPECT_EQ (device.taken.size(), 300u);
    EXPECT_EQ (device.waits, 3);
    EXPECT_EQ (device.writes, 6) << "no write after the wait gave up";
}

TEST (AlsaRawMidiOutputPort, FailsWhenAWriteClaimsMoreThanItWasGiven)
{
    const std::vector<juce::uint8> message { 0xF0, 0x01, 0xF7 };
    int writes = 0;

    EXPECT_FALSE (Port::writeFully (
        message.data(), message.size(),
        [&writes] (const juce::uint8*, size_t count) { return ++writes == 1 ? (long) count + 1 : (long) count; },
        [] { return true; }));
    EXPECT_EQ (writes, 1);
}

TEST (AlsaRawMidiOutputPort, WritesNothingForAnEmptyMessage)
{
    FakeDevice device;
    EXPECT_TRUE (device.send ({}));
    EXPECT_EQ (device.writes, 0);
}

TEST (AlsaRawMidiOutputPort, FindsNoRawMidiDeviceForSoftwarePortsOrBadIdentifiers)
{
    // 14-0 is "Midi Through" where there is a sequencer: a kernel client with
    // no card. Without a sequencer (build machines) nothing is found either.
    EXPECT_FALSE (Port::findRawMidiOutput ("14-0").has_value());
    EXPECT_FALSE (Port::findRawMidiOutput ("").has_value());
    EXPECT_FALSE (Port::findRawMidiOutput ("not-an-identifier").has_value());
}

TEST (AlsaRawMidiOutputPort, OpensNothingForADeviceThatDoesNotExist)
{
    EXPECT_EQ (Port::open ({ 31, 7, 31 }), nullptr);
}
