#include "midi/JuceMidiPortDirectory.h"
#include "midi/WinMmDeviceList.h"
#include "midi/WinMmSystemOutputDevice.h"

#include <gtest/gtest.h>

// Against the real WinMM: the device list as JUCE reads it, and the two ways
// an open must fail without a port (under Wine on a build machine there is
// no MIDI device at all, which is what these need).

TEST (WinMmSystem, TheDeviceListHasJucesEntriesInJucesOrder)
{
    const auto entries = WinMmDeviceList::currentOutputs();
    const auto listed = juce::MidiOutput::getAvailableDevices();

    ASSERT_EQ ((int) entries.size(), listed.size());
    const auto identifiers = WinMmDeviceList::juceIdentifiersOf (entries);

    for (int i = 0; i < listed.size(); ++i)
    {
        EXPECT_EQ (identifiers[i], listed[i].identifier);
        EXPECT_EQ (WinMmDeviceList::deviceIdOf (listed[i].identifier, entries), entries[(size_t) i].deviceId);
    }
}

TEST (WinMmSystem, AnEntryThatIsNotListedNowOrADeviceNumberThatDoesNotExistOpensNothing)
{
    JuceMidiPortDirectory directory;
    const auto result = directory.openOutput ({ "Nimbo Pedal", "no such device" });

    EXPECT_EQ (result.port, nullptr) << "never another device instead";
    EXPECT_EQ (result.problem, OpenProblem::gone);

    OpenProblem problem = OpenProblem::none;
    juce::String detail;
    EXPECT_EQ (WinMmSystemOutputDevice::open (4096, problem, detail), nullptr);
    EXPECT_EQ (problem, OpenProblem::gone);
    EXPECT_TRUE (detail.isNotEmpty()) << "WinMM's own words for the user";
}
