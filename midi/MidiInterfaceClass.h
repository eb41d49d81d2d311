#pragma once

#include "midi/InterfaceBaseClass.h"
#include "midi/MidiPortDirectory.h"
#include "midi/ReceiveRing.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

/** The MIDI link: a drop-down list of the MIDI output ports under the caption
    "Select an output device:". Choosing a port opens it, choosing
    "(Disconnected)" closes it, and every handled choice is broadcast.

    Item ids: the port at list position i has id i + 1, "(Disconnected)" has
    id outputDeviceCount + 1. The port list is taken once, at construction.

    sendMessage runs on the upload thread while the message thread may change
    the port; outputLock keeps a port from being closed during a send on it.
*/
class MidiInterfaceClass : public InterfaceBaseClass, public juce::ComboBox::Listener, public juce::MidiInputCallback
{
public:
    /** A link to the system's MIDI ports. */
    MidiInterfaceClass();

    /** A link to the ports of the given directory (tests pass a fake). */
    explicit MidiInterfaceClass (std::unique_ptr<MidiPortDirectory> portDirectory);

    ~MidiInterfaceClass() override;

    juce::uint32 readBytes (juce::uint8* destination, juce::uint32 maximumCount) override;
    int sendMessage (const juce::uint8* data, int length) override;
    bool isReady() override;
    int getPreferredHeight() override;
    void selectOutput (int id) override;
    void selectInput (int id) override;

    void resized() override;
    void comboBoxChanged (juce::ComboBox* comboBoxThatHasChanged) override;
    void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override;

    /** The output list, for tests and for the panel's layout checks. */
    juce::ComboBox& getOutputSelector() noexcept { return *outputSelector; }

    /** The caption above the output list. */
    juce::Label& getOutputLabel() noexcept { return *outputLabel; }

private:
    void openOutput (int id);
    void closeOutput();

    std::unique_ptr<MidiPortDirectory> portDirectory;

    int outputDeviceCount = 0;
    int inputDeviceCount = 0;
    bool useInput = false;
    bool useOutput = true;
    juce::StringArray outputDeviceNames;
    std::unique_ptr<MidiOutputPort> midiOutput;
    juce::StringArray inputDeviceNames;
    std::unique_ptr<juce::MidiInput> midiInput;

    // Declared after the ports so that the children go first on destruction.
    std::unique_ptr<juce::ComboBox> outputSelector;
    std::unique_ptr<juce::Label> outputLabel;
    std::unique_ptr<juce::ComboBox> inputSelector;

    ReceiveRing receiveBuffer;
    juce::CriticalSection outputLock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiInterfaceClass)
};
