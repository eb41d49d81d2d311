#include "midi/MidiInterfaceClass.h"

#include "midi/JuceMidiPortDirectory.h"

namespace
{
bool sameDevices (const juce::Array<juce::MidiDeviceInfo>& a, const juce::Array<juce::MidiDeviceInfo>& b)
{
    if (a.size() != b.size())
        return false;

    for (int i = 0; i < a.size(); ++i)
        if (a.getReference (i) != b.getReference (i))
            return false;

    return true;
}

int indexOfIdentifier (const juce::Array<juce::MidiDeviceInfo>& devices, const juce::String& identifier)
{
    for (int i = 0; i < devices.size(); ++i)
        if (devices.getReference (i).identifier == identifier)
            return i;

    return -1;
}
} // namespace

MidiInterfaceClass::MidiInterfaceClass() : MidiInterfaceClass (std::make_unique<JuceMidiPortDirectory>()) {}

MidiInterfaceClass::MidiInterfaceClass (std::unique_ptr<MidiPortDirectory> directory)
    : portDirectory (std::move (directory))
{
    outputDevices = portDirectory->scanOutputs();

    outputSelector = std::make_unique<juce::ComboBox> ("Output Selector");
    addAndMakeVisible (*outputSelector);
    outputSelector->setColour (juce::ComboBox::buttonColourId, juce::Colours::white);

    outputLabel = std::make_unique<juce::Label> (juce::String(), "Select an output device:");
    outputLabel->attachToComponent (outputSelector.get(), false);

    fillSelector (0);

    // The queued notification reaches comboBoxChanged once the message loop
    // runs, so the panel hears about the initial state like any other choice.
    outputSelector->setSelectedId (outputDeviceCount + 1, juce::sendNotificationAsync);
    outputSelector->addListener (this);

    // JUCE has no device-change callback; asking the system's list is cheap.
    startTimer (listRefreshIntervalMs);
}

MidiInterfaceClass::~MidiInterfaceClass()
{
    stopTimer();
    cancelPendingUpdate();

    outputSelector->removeListener (this);
    outputLabel.reset();
    outputSelector.reset();
    inputSelector.reset();

    if (midiInput != nullptr)
        midiInput->stop();

    midiInput.reset();
    closeOutput();
}

juce::uint32 MidiInterfaceClass::readBytes (juce::uint8* destination, juce::uint32 maximumCount)
{
    if (midiInput == nullptr || maximumCount == 0)
        return 0;

    return receiveBuffer.read (destination, maximumCount);
}

int MidiInterfaceClass::sendMessage (const juce::uint8* data, int length)
{
    const juce::ScopedLock sl (outputLock);

    if (midiOutput == nullptr)
        return sendOk;

    if (outputFailed)
        return sendFailed;

    if (midiOutput->sendMessageNow (data, length))
        return sendOk;

    // A send given up because the upload is being stopped says nothing about
    // the device. Any other failure means it is gone or unusable: the user
    // must see that at once, and must not be offered it for another try.
    if (! juce::Thread::currentThreadShouldExit())
    {
        outputFailed = true;
        triggerAsyncUpdate();
    }

    return sendFailed;
}

bool MidiInterfaceClass::isReady()
{
    // Ports change only on the message thread, which can read them freely;
    // any other thread (the upload thread, between messages) reads them under
    // the lock they change under. The message thread must not take it: a
    // send holds it for as long as a slow device takes.
    if (! juce::MessageManager::existsAndIsCurrentThread())
    {
        const juce::ScopedLock sl (outputLock);
        return readyNow();
    }

    return readyNow();
}

bool MidiInterfaceClass::readyNow() const
{
    const bool outputOpen = midiOutput != nullptr && ! outputFailed;
    const bool inputOpen = midiInput != nullptr;

    if (useOutput && useInput)
        return outputOpen && inputOpen;

    if (useOutput)
        return outputOpen;

    if (useInput)
        return inputOpen;

    return false;
}

int MidiInterfaceClass::getPreferredHeight() { return (useInput && useOutput) ? 100 : 50; }

void MidiInterfaceClass::selectOutput (int id)
{
    outputSelector->setSelectedId (id, juce::sendNotificationAsync);
    sendChangeMessage();
    openOutput (id);
}

void MidiInterfaceClass::selectInput (int)
{
    // The input direction is switched off: there is no input list to select from.
}

void MidiInterfaceClass::resized()
{
    if (useOutput)
        outputSelector->setBounds (0, 20, getWidth(), 30);

    if (inputSelector != nullptr)
        inputSelector->setBounds (0, useOutput ? 70 : 20, getWidth(), 30);
}

void MidiInterfaceClass::comboBoxChanged (juce::ComboBox* comboBoxThatHasChanged)
{
    if (comboBoxThatHasChanged != outputSelector.get())
        return;

    const int id = outputSelector->getSelectedId();

    if (id >= 1 && id <= outputDeviceCount)
    {
        openOutput (id);
        sendChangeMessage();
    }
    else if (id == outputDeviceCount + 1 || id == 0)
    {
        // Id 0 means the list shows no entry; it must never open a port.
        closeOutput();
        sendChangeMessage();
    }
}

void MidiInterfaceClass::handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message)
{
    receiveBuffer.write (message.getRawData(), message.getRawDataSize());
}

MidiInterfaceClass::OpenFailure MidiInterfaceClass::takeOpenFailure() { return std::exchange (lastOpenFailure, {}); }

bool MidiInterfaceClass::refreshOutputList()
{
    auto devices = portDirectory->scanOutputs();

    if (sameDevices (devices, outputDevices))
        return false;

    outputDevices = std::move (devices);

    int selectedId = -1;

    if (midiOutput != nullptr)
    {
        const int position = indexOfIdentifier (outputDevices, openDevice.identifier);

        if (position >= 0)
            selectedId = position + 1;
        else
            closeOutput();
    }

    fillSelector (selectedId);
    sendChangeMessage();
    return true;
}

void MidiInterfaceClass::timerCallback()
{
    // Never while an upload runs (it keeps the link disabled) or while the
    // user is looking at the open list.
    if (isEnabled() && ! outputSelector->isPopupActive())
        refreshOutputList();
}

void MidiInterfaceClass::handleAsyncUpdate()
{
    if (! outputFailed)
        return;

    closeOutput();
    showDisconnected();
    sendChangeMessage();
}

void MidiInterfaceClass::fillSelector (int selectedId)
{
    outputDeviceNames.clear();

    for (const auto& device : outputDevices)
        outputDeviceNames.add (device.name);

    outputDeviceCount = outputDeviceNames.size();

    outputSelector->clear (juce::dontSendNotification);
    outputSelector->addItem ("(Disconnected)", outputDeviceCount + 1);
    outputSelector->addSeparator();

    // A port with an empty name gets no entry (the combo box refuses empty
    // items); the others keep the id of their list position.
    for (int i = 0; i < outputDeviceCount; ++i)
        if (outputDeviceNames[i].isNotEmpty())
            outputSelector->addItem (outputDeviceNames[i], i + 1);

    if (selectedId > 0)
        outputSelector->setSelectedId (selectedId, juce::dontSendNotification);
    else if (selectedId < 0)
        showDisconnected();
}

void MidiInterfaceClass::openOutput (int id)
{
    closeOutput();

    if (id < 1 || id > outputDeviceCount)
        return;

    const auto device = outputDevices[id - 1];
    auto result = portDirectory->openOutput (device);

    if (result.port == nullptr)
    {
        lastOpenFailure = { result.problem == OpenProblem::none ? OpenProblem::failed : result.problem, device.name,
                            result.detail };

        // The list must not claim a port that is not open.
        showDisconnected();
        return;
    }

    lastOpenFailure = {};

    const juce::ScopedLock sl (outputLock);
    midiOutput = std::move (result.port);
    openDevice = device;
}

void MidiInterfaceClass::closeOutput()
{
    std::unique_ptr<MidiOutputPort> closing;

    {
        const juce::ScopedLock sl (outputLock);
        closing = std::move (midiOutput);
        openDevice = {};
        outputFailed = false;
    }

    // Closed outside the lock, but only once no send can be using it: a send
    // holds the lock for as long as it uses the port.
    closing.reset();
}

void MidiInterfaceClass::showDisconnected()
{
    outputSelector->setSelectedId (outputDeviceCount + 1, juce::dontSendNotification);
}
