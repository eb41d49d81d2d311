#include "midi/MidiInterfaceClass.h"

#include "midi/JuceMidiPortDirectory.h"

MidiInterfaceClass::MidiInterfaceClass() : MidiInterfaceClass (std::make_unique<JuceMidiPortDirectory>()) {}

MidiInterfaceClass::MidiInterfaceClass (std::unique_ptr<MidiPortDirectory> directory)
    : portDirectory (std::move (directory))
{
    outputDeviceNames = portDirectory->scanOutputs();
    outputDeviceCount = outputDeviceNames.size();

    outputSelector = std::make_unique<juce::ComboBox> ("Output Selector");
    addAndMakeVisible (*outputSelector);
    outputSelector->setColour (juce::ComboBox::buttonColourId, juce::Colours::white);

    outputLabel = std::make_unique<juce::Label> (juce::String(), "Select an output device:");
    outputLabel->attachToComponent (outputSelector.get(), false);

    outputSelector->addItem ("(Disconnected)", outputDeviceCount + 1);
    outputSelector->addSeparator();

    // A port with an empty name gets no entry (the combo box refuses empty
    // items); the others keep the id of their list position.
    for (int i = 0; i < outputDeviceCount; ++i)
        if (outputDeviceNames[i].isNotEmpty())
            outputSelector->addItem (outputDeviceNames[i], i + 1);

    // The queued notification reaches comboBoxChanged once the message loop
    // runs, so the panel hears about the initial state like any other choice.
    outputSelector->setSelectedId (outputDeviceCount + 1, juce::sendNotificationAsync);
    outputSelector->addListener (this);
}

MidiInterfaceClass::~MidiInterfaceClass()
{
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

    return midiOutput->sendMessageNow (data, length) ? sendOk : sendFailed;
}

bool MidiInterfaceClass::isReady()
{
    const bool outputOpen = midiOutput != nullptr;
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

void MidiInterfaceClass::openOutput (int id)
{
    closeOutput();

    if (id < 1 || id > outputDeviceCount)
        return;

    auto port = portDirectory->openOutput (id - 1);

    const juce::ScopedLock sl (outputLock);
    midiOutput = std::move (port);
}

void MidiInterfaceClass::closeOutput()
{
    std::unique_ptr<MidiOutputPort> closing;

    {
        const juce::ScopedLock sl (outputLock);
        closing = std::move (midiOutput);
    }

    // Closed outside the lock, but only once no send can be using it: a send
    // holds the lock for as long as it uses the port.
    closing.reset();
}
