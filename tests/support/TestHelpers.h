#pragma once

#include "midi/InterfaceBaseClass.h"
#include "midi/MidiPortDirectory.h"
#include "midi/RawMidiDevice.h"
#include "ui/UserAlert.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

/** Runs the message loop until condition holds or timeoutMs pass; returns
    whether it held. */
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 5000);

/** Runs the message loop for this long. */
void pumpFor (int milliseconds);

/** What a fake port directory saw: opens, closes and the bytes of each send. */
struct PortLog
{
    juce::CriticalSection lock;
    std::vector<juce::String> events; // "request 0", "open 0", "close 0", "send 0 <length>"
    std::vector<std::vector<juce::uint8>> messages;
    std::vector<double> sendTimesMs;
    int openPorts = 0;

    /** Every open port's sends fail from now on, as with an unplugged device. */
    std::atomic<bool> sendsFail { false };

    std::vector<juce::String> getEvents();
    std::vector<std::vector<juce::uint8>> getMessages();
};

/** A MIDI service with the given port names, whose list can change while it
    is used. Ports whose position is in failingPositions, or whose name is in
    openProblems, cannot be opened; failSendsAfter makes a port report a
    failed send once that many messages were taken. makePort, when set, makes
    the port that an open returns (the log then sees only the request). */
class FakePortDirectory : public MidiPortDirectory
{
public:
    FakePortDirectory (juce::StringArray names, std::shared_ptr<PortLog> log);

    juce::Array<juce::MidiDeviceInfo> scanOutputs() override;
    OpenResult openOutput (const juce::MidiDeviceInfo& device) override;

    /** Replaces the list, as when devices are plugged in or out. A name that
        stays keeps its identifier; one that comes back gets a new one, as a
        replugged device does. */
    void setPorts (const juce::StringArray& names);

    /** The identifier the port with this name has now. */
    juce::String identifierOf (const juce::String& name) const;

    int getScanCount() const noexcept { return scans; }

    juce::Array<int> failingPositions;
    std::map<juce::String, OpenProblem> openProblems;
    int failSendsAfter = -1;
    std::function<std::unique_ptr<MidiOutputPort> (int position)> makePort;

private:
    juce::Array<juce::MidiDeviceInfo> devices;
    std::shared_ptr<PortLog> log;
    int generation = 0;
    int scans = 0;
};

/** A rawmidi device for AlsaRawMidiOutputPort's real waiting code: a buffer
    of bufferBytes that the device empties at bytesPerPoll bytes each time
    the port asks how much room there is (0: it takes nothing, as a stalled
    pedal). unplugged makes every call fail as after an unplug. Thread-safe:
    the port runs on the upload thread. */
class FakeRawMidiDevice : public RawMidiDevice
{
public:
    struct State
    {
        juce::CriticalSection lock;
        size_t bufferBytes = 4096;
        size_t buffered = 0;
        std::atomic<size_t> bytesPerPoll { 0 };
        std::atomic<bool> unplugged { false };
        /** The device is unplugged once it has taken this many bytes. */
        size_t unplugAfterTaken = std::numeric_limits<size_t>::max();
        /** The device stops taking data once it has taken this many bytes. */
        size_t stallAfterTaken = std::numeric_limits<size_t>::max();
        std::vector<juce::uint8> taken; // what reached the device
        std::atomic<int> waits { 0 };
        std::atomic<int> drops { 0 };
        std::atomic<int> writesAfterDrop { 0 };
        bool dropped = false;
        /** How long closing the device takes, and whether it is closed. */
        int closeMs = 0;
        std::atomic<bool> closed { false };
    };

    explicit FakeRawMidiDevice (std::shared_ptr<State> state);
    ~FakeRawMidiDevice() override;

    long write (const juce::uint8* data, size_t count) override;
    long freeSpace() override;
    size_t bufferSize() const override;
    int waitForSpace (int timeoutMs) override;
    int drain() override;
    void drop() override;

private:
    void moveToDevice();

    std::shared_ptr<State> state;
    std::vector<juce::uint8> pending;
};

/** A link that records every message the worker hands it, with the time of
    each send on the high-resolution counter as the link saw it and, when
    given a worker clock, as the worker stamped it. */
class RecordingLink : public InterfaceBaseClass
{
public:
    juce::uint32 readBytes (juce::uint8*, juce::uint32) override { return 0; }
    int sendMessage (const juce::uint8* data, int length) override;
    bool isReady() override { return ready; }
    int getPreferredHeight() override { return 50; }
    void selectOutput (int) override {}
    void selectInput (int) override {}

    std::vector<std::vector<juce::uint8>> getMessages();
    std::vector<double> getSendTimes();
    std::vector<double> getWorkerSendTimes();
    /** For each send, whether the link was enabled when it came. */
    std::vector<bool> getEnabledAtSends();

    /** Read inside sendMessage, on the worker's thread. */
    std::function<double()> workerClock;
    size_t getMessageCount();

    std::atomic<bool> ready { true };
    std::atomic<int> failAfterMessages { -1 };
    std::atomic<int> stallMs { 0 };

private:
    juce::CriticalSection lock;
    std::vector<std::vector<juce::uint8>> messages;
    std::vector<double> sendTimes;
    std::vector<double> workerSendTimes;
    std::vector<bool> enabledAtSends;
};

/** Records what the user would have been shown. */
struct AlertLog
{
    struct Entry
    {
        juce::MessageBoxIconType icon;
        juce::String title, message;
    };

    std::vector<Entry> entries;
    UserAlert::Function recorder();
};

/** Counts change callbacks delivered on the message thread. */
struct ChangeCounter : public juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

/** One send on a thread of its own, as the upload worker makes it, so that
    the thread can be asked to stop while the send waits. result: -1 while
    the send runs, then 1 (sent) or 0 (failed). */
struct SendingThread : public juce::Thread
{
    SendingThread (MidiOutputPort& portToUse, std::vector<juce::uint8> messageToSend)
        : juce::Thread ("Protocol Thread"), port (portToUse), message (std::move (messageToSend))
    {
    }

    void run() override { result = port.sendMessageNow (message.data(), (int) message.size()) ? 1 : 0; }

    MidiOutputPort& port;
    std::vector<juce::uint8> message;
    std::atomic<int> result { -1 };
};

/** One SysEx message of this length: F0, data bytes below 0x80, F7. */
std::vector<juce::uint8> sysexMessage (size_t length);

/** The built-in image's bytes. */
std::vector<juce::uint8> builtInImageBytes();

/** Concatenated SysEx messages of the given lengths (each F0 .. F7, data < 0x80). */
std::vector<juce::uint8> makeImage (const std::vector<int>& messageLengths);
