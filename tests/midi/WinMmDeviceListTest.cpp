#include "midi/WinMmDeviceList.h"

#include <gtest/gtest.h>

using WinMmDeviceList::Entry;

TEST (WinMmDeviceList, IdentifiersAreJucesInterfaceNamesOrNamesWithDuplicatesNumbered)
{
    const std::vector<Entry> entries { { 0, "Microsoft GS Wavetable Synth", "" },
                                       { 1, "Nimbo Pedal", "" },
                                       { 2, "Nimbo Pedal", "" },
                                       { 3, "Nimbo Pedal", R"(\\?\usb#vid_1234&pid_0002#7)" },
                                       { 5, "Nimbo Pedal", "" } };

    EXPECT_EQ (WinMmDeviceList::juceIdentifiersOf (entries),
               juce::StringArray ({ "Microsoft GS Wavetable Synth", "Nimbo Pedal", "Nimbo Pedal-2",
                                    R"(\\?\usb#vid_1234&pid_0002#7)", "Nimbo Pedal-3" }));

    // Device 4 could not be read, so JUCE's fifth entry is device 5.
    EXPECT_EQ (WinMmDeviceList::deviceIdOf ("Nimbo Pedal-3", entries), 5u);
    EXPECT_EQ (WinMmDeviceList::deviceIdOf (R"(\\?\usb#vid_1234&pid_0002#7)", entries), 3u);
    EXPECT_EQ (WinMmDeviceList::deviceIdOf ("Nimbo Pedal", entries), 1u);
}

TEST (WinMmDeviceList, ADeviceThatIsNoLongerListedIsNeverReplacedByAnother)
{
    // Chosen while two pedals were attached; then the first went away, and
    // JUCE would now call the second "Nimbo Pedal".
    const std::vector<Entry> now { { 0, "Microsoft GS Wavetable Synth", "" }, { 1, "Nimbo Pedal", "" } };

    EXPECT_FALSE (WinMmDeviceList::deviceIdOf ("Nimbo Pedal-2", now).has_value());
    EXPECT_FALSE (WinMmDeviceList::deviceIdOf ("nimbo pedal", now).has_value()) << "identifiers match exactly";
    EXPECT_FALSE (WinMmDeviceList::deviceIdOf ("", now).has_value());
    EXPECT_FALSE (WinMmDeviceList::deviceIdOf ("Nimbo Pedal", {}).has_value());
}
