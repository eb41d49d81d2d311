#include "TestHelpers.h"

#include "firmware/FirmwareImage.h"

#include <cerrno>

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
    }

    // A send on a port after it was closed would be a use after free in the
    // real service; here it is one too, which AddressSanitizer reports. A flag
    // of the port's own could not tell, as it is freed with the port.
    bool sendMessageNow (const juce::uint8* data, int numBytes) override
    {
        const juce::ScopedLock sl (log->lock);

        if ((failSendsAfter >= 0 && sent >= failSendsAfter) || log->sendsFail)
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
};
} // namespace

FakePortDirectory::FakePortDirectory (juce::StringArray names, std::shared_ptr<PortLog> logToUse)
    : log (std::move (logToUse))
{
    setPorts (names);
}

juce::Array<juce::MidiDeviceInfo> FakePortDirectory::scanOutputs()
{
    ++scans;
    return devices;
}

void FakePortDirectory::setPorts (const juce::StringArray& names)
{
    juce::Array<juce::MidiDeviceInfo> next;
    ++generation;

    for (const auto& name : names)
    {
        auto identifier = identifierOf (name);

        if (identifier.isEmpty())
            identifier = name + "#" + juce::String (generation);

        next.add ({ name, identifier });
    }

    devices = next;
}

juce::String FakePortDirectory::identifierOf (const juce::String& name) const
{
    for (const auto& device : devices)
        if (device.name == name)
            return device.identifier;

    return {};
}

OpenResult FakePortDirectory::openOutput (const juce::MidiDeviceInfo& device)
{
    int position = -1;

    for (int i = 0; i < devices.size(); ++i)
        if (devices.getReference (i).identifier == device.identifier)
            position = i;

    {
        const juce::ScopedLock sl (log->lock);
        log->events.push_back ("request " + juce::String (position));
    }

    if (position < 0)
        return OpenResult::failure (OpenProblem::gone);

    if (const auto problem = openProblems.find (device.name); problem != openProblems.end())
        return OpenResult::failure (problem->second, "refused by the test");

    if (failingPositions.contains (position))
        return OpenResult::failure (OpenProblem::failed);

    OpenResult result;
    result.port = makePort ? makePort (position) : std::make_unique<FakePort> (position, log, failSendsAfter);
    return result;
}

FakeRawMidiDevice::FakeRawMidiDevice (std::shared_ptr<State> stateToUse) : state (std::move (stateToUse)) {}

FakeRawMidiDevice::~FakeRawMidiDevice()
{
    if (state->closeMs > 0)
        juce::Thread::sleep (state->closeMs);

    state->closed = true;
}

void FakeRawMidiDevice::moveToDevice()
{
    const auto n = juce::jmin (state->buffered, state->bytesPerPoll.load());
    state->taken.insert (state->taken.end(), pending.begin(), pending.begin() + (std::ptrdiff_t) n);
    pending.erase (pending.begin(), pending.begin() + (std::ptrdiff_t) n);
    state->buffered -= n;

    if (state->taken.size() >= state->unplugAfterTaken)
        state->unplugged = true;

    if (state->taken.size() >= state->stallAfterTaken)
        state->bytesPerPoll = 0;
}

long FakeRawMidiDevice::write (const juce::uint8* data, size_t count)
{
    const juce::ScopedLock sl (state->lock);

    if (state->unplugged)
        return -ENODEV;

    if (state->dropped)
        ++state->writesAfterDrop;

    const auto n = juce::jmin (count, state->bufferBytes - state->buffered);
    pending.insert (pending.end(), data, data + n);
    state->buffered += n;
    return (long) n;
}

long FakeRawMidiDevice::freeSpace()
{
    const juce::ScopedLock sl (state->lock);

    if (state->unplugged)
        return -ENODEV;

    moveToDevice();
    return (long) (state->bufferBytes - state->buffered);
}

size_t FakeRawMidiDevice::bufferSize() const { return state->bufferBytes; }

int FakeRawMidiDevice::waitForSpace (int timeoutMs)
{
    ++state->waits;
    // Like poll: the wait lasts its time out unless the device makes room.
    if (state->bytesPerPoll == 0)
        juce::Thread::sleep (timeoutMs);

    return state->unplugged ? -ENODEV : 0;
}

int FakeRawMidiDevice::drain() { return state->unplugged ? -ENODEV : 0; }

void FakeRawMidiDevice::drop()
{
    const juce::ScopedLock sl (state->lock);
    pending.clear();
    state->buffered = 0;
    state->dropped = true;
    ++state->drops;
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
    enabledAtSends.push_back (isEnabledOnAnyThread());
    return sendOk;
}

std::vector<bool> RecordingLink::getEnabledAtSends()
{
    const juce::ScopedLock sl (lock);
    return enabledAtSends;
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

std::vector<juce::uint8> sysexMessage (size_t length)
{
    std::vector<juce::uint8> bytes (juce::jmax ((size_t) 2, length));

    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = (juce::uint8) (i % 0x7F);

    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}
