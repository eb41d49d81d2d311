#include "TestHelpers.h"

#include "firmware/FirmwareImage.h"

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

void pumpFor (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

    while (juce::Time::getMillisecondCounter() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
}

std::vector<juce::String> PortLog::getEvents()
{
    const juce::ScopedLock sl (lock);
    return events;
}

std::vector<std::vector<juce::uint8>> PortLog::getMessages()
{
    const juce::ScopedLock sl (lock);
    return messages;
}

namespace
{
class FakePort : public MidiOutputPort
{
public:
    FakePort (int positionToUse, std::shared_ptr<PortLog> logToUse, int failAfter)
        : position (positionToUse), log (std::move (logToUse)), failSendsAfter (failAfter)
    {
        const juce::ScopedLock sl (log->lock);
        log->events.push_back ("open " + juce::String (position));
        ++log->openPorts;
    }

    ~FakePort() override
    {
        const juce::ScopedLock sl (log->lock);
        log->events.push_back ("close " + juce::String (position));
        --log->openPorts;
        closed = true;
    }

    bool sendMessageNow (const juce::uint8* data, int numBytes) override
    {
        // A send on a port that is being closed would be a use after free in
        // the real service; the flag makes it visible to the sanitizers too.
        jassert (! closed);

        const juce::ScopedLock sl (log->lock);

        if (failSendsAfter >= 0 && sent >= failSendsAfter)
            return false;

        ++sent;
        log->events.push_back ("send " + juce::String (position) + " " + juce::String (numBytes));
        log->messages.emplace_back (data, data + numBytes);
        log->sendTimesMs.push_back (juce::Time::getMillisecondCounterHiRes());
        return true;
    }

private:
    int position;
    std::shared_ptr<PortLog> log;
    int failSendsAfter;
    int sent = 0;
    bool closed = false;
};
} // namespace

FakePortDirectory::FakePortDirectory (juce::StringArray namesToUse, std::shared_ptr<PortLog> logToUse)
    : names (std::move (namesToUse)), log (std::move (logToUse))
{
}

juce::StringArray FakePortDirectory::scanOutputs() { return names; }

std::unique_ptr<MidiOutputPort> FakePortDirectory::openOutput (int listPosition)
{
    {
        const juce::ScopedLock sl (log->lock);
        log->events.push_back ("request " + juce::String (listPosition));
    }

    if (! juce::isPositiveAndBelow (listPosition, names.size()) || failingPositions.contains (listPosition))
        return {};

    return std::make_unique<FakePort> (listPosition, log, failSendsAfter);
}

int RecordingLink::sendMessage (const juce::uint8* data, int length)
{
    const auto arrivedMs = juce::Time::getMillisecondCounterHiRes();
    const auto stampedMs = workerClock ? workerClock() : arrivedMs;

    if (stallMs > 0)
        juce::Thread::sleep (stallMs);

    const juce::ScopedLock sl (lock);

    if (failAfterMessages >= 0 && (int) messages.size() >= failAfterMessages)
        return sendFailed;

    messages.emplace_back (data, data + length);
    sendTimes.push_back (arrivedMs);
    workerSendTimes.push_back (stampedMs);
    return sendOk;
}

std::vector<std::vector<juce::uint8>> RecordingLink::getMessages()
{
    const juce::ScopedLock sl (lock);
    return messages;
}

std::vector<double> RecordingLink::getSendTimes()
{
    const juce::ScopedLock sl (lock);
    return sendTimes;
}

std::vector<double> RecordingLink::getWorkerSendTimes()
{
    const juce::ScopedLock sl (lock);
    return workerSendTimes;
}

size_t RecordingLink::getMessageCount()
{
    const juce::ScopedLock sl (lock);
    return messages.size();
}

UserAlert::Function AlertLog::recorder()
{
    return [this] (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message) {
        entries.push_back ({ icon, title, message });
    };
}

std::vector<juce::uint8> builtInImageBytes()
{
    auto image = FirmwareImage::createBuiltIn();
    return { image->data, image->data + image->size };
}

std::vector<juce::uint8> makeImage (const std::vector<int>& messageLengths)
{
    std::vector<juce::uint8> bytes;
    juce::uint8 next = 0;

    for (auto length : messageLengths)
    {
        bytes.push_back (0xF0);

        for (int i = 0; i < length - 2; ++i)
            bytes.push_back (next++ & 0x7F);

        bytes.push_back (0xF7);
    }

    return bytes;
}
