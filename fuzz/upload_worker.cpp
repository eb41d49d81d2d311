// The whole upload worker, on its own thread, over a fuzzed image and against
// the recording link of the tests. Whatever the image, the worker must read
// nothing outside it (the input sits in an allocation of exactly its size, so
// ASan sees a read past either end) and hand the link nothing but complete
// F0 .. F7 messages with data bytes below 0x80; an image the check accepts
// must arrive whole and in order, one the check refuses not at all.
//
// The production pacing stays as it is (15 ms per message with fixedPacing),
// so images are kept to a few messages: anything with more F0 bytes than
// that is skipped, and the fuzzer learns to stay below it.

#include "FuzzTarget.h"
#include "TestHelpers.h"
#include "firmware/FirmwareImage.h"
#include "protocol/BasicSysexProtocolClass.h"
#include "protocol/SysexImageCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{
constexpr long maximumMessages = 3;

bool isCompleteMessage (const std::vector<juce::uint8>& message)
{
    if (message.size() < 2 || message.front() != 0xF0 || message.back() != 0xF7)
        return false;

    return std::all_of (message.begin() + 1, message.end() - 1, [] (juce::uint8 byte) { return byte < 0x80; });
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // The calling thread becomes the message thread that the worker's
    // MessageManagerLock waits for; it lives as long as the process.
    static auto* const juceInitialiser = new juce::ScopedJuceInitialiser_GUI();
    juce::ignoreUnused (juceInitialiser);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (std::count (data, data + size, 0xF0) > maximumMessages)
        return -1;

    std::unique_ptr<juce::uint8[]> bytes (size > 0 ? new juce::uint8[size] : nullptr);

    if (size > 0)
        std::memcpy (bytes.get(), data, size);

    FirmwareImage image ("fuzz", "1", 0);
    image.data = bytes.get();
    image.size = (juce::int64) size;
    image.fixedPacing = true;

    RecordingLink link;
    juce::String status;
    bool ended = false;

    {
        BasicSysexProtocolClass protocol (&link, &image);
        protocol.start();

        while (protocol.isThreadRunning())
            juce::MessageManager::getInstance()->runDispatchLoopUntil (0);

        status = protocol.getStatusText();
        ended = protocol.hasUploadEnded();
    }

    const auto check = SysexImageCheck::check (image.data, size);
    const auto messages = link.getMessages();
    std::vector<juce::uint8> joined;

    for (const auto& message : messages)
    {
        fuzzExpect (isCompleteMessage (message), "every message sent is a complete F0 .. F7 SysEx");
        joined.insert (joined.end(), message.begin(), message.end());
    }

    fuzzExpect (ended, "the upload reports its end");

    if (check.valid)
    {
        fuzzExpect (messages.size() == check.messageCount, "an accepted image goes out message by message");
        fuzzExpect (joined.size() == size && std::equal (joined.begin(), joined.end(), data),
                    "an accepted image goes out whole and unchanged");
        fuzzExpect (status == BasicSysexProtocolClass::completedText, "an accepted image completes");
    }
    else
    {
        fuzzExpect (messages.empty(), "nothing of a refused image is sent");
        fuzzExpect (status == BasicSysexProtocolClass::invalidImageText (check.problem), "a refused image says why");
    }

    return 0;
}
