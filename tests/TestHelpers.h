#pragma once

#include "midi/InterfaceBaseClass.h"
#include "midi/MidiPortDirectory.h"
#include "ui/UserAlert.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>
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
    std::vector<juce::String> events; // "open 0", "close 0", "send 0 <length>"
    std::vector<std::vector<juce::uint8>> messages;
    std::vector<double> sendTimesMs;
    int openPorts = 0;

    std::vector<juce::String> getEvents();
    std::vector<std::vector<juce::uint8>> getMessages();
};

/** A MIDI service with the given port names. Ports whose position is listed
    in failingPositions cannot be opened; failSendsAfter makes a port report a
    failed send once that many messages were taken. */
class FakePortDirectory : public MidiPortDirectory
{
public:
    FakePortDirectory (juce::StringArray names, std::shared_ptr<PortLog> log);

    juce::StringArray scanOutputs() override;
    std::unique_ptr<MidiOutputPort> openOutput (int listPosition) override;

    juce::Array<int> failingPositions;
    int failSendsAfter = -1;

private:
    juce::StringArray names;
    std::shared_ptr<PortLog> log;
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

/** The built-in image's bytes. */
std::vector<juce::uint8> builtInImageBytes();

/** Concatenated SysEx messages of the given lengths (each F0 .. F7, data < 0x80). */
std::vector<juce::uint8> makeImage (const std::vector<int>& messageLengths);
