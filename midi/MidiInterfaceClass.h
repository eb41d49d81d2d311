#pragma once

#include "midi/InterfaceBaseClass.h"
#include "midi/MidiPortDirectory.h"
#include "midi/ReceiveRing.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <memory>

/** The MIDI link: a drop-down list of the MIDI output ports under the caption
    "Select an output device:". Choosing a port opens it, choosing
    "(Disconnected)" closes it, and every handled choice is broadcast.

    Item ids: the port at list position i has id i + 1, "(Disconnected)" has
    id outputDeviceCount + 1. The list follows the system: while the link is
    enabled (no upload runs) and the list is not open, ports that come and go
    are added and removed within listRefreshIntervalMs, and the open port
    stays chosen while it exists. The selector shows "(Disconnected)" whenever
    no port is open: after a port failed to open (takeOpenFailure tells why),
    after a send failed (the dead port is closed), and after the open port
    went away.

    sendMessage runs on the upload thread while the message thread may change
    the port; outputLock keeps a port from being closed during a send on it.
*/
class MidiInterfaceClass :
    public InterfaceBaseClass,
    public juce::ComboBox::Listener,
    public juce::MidiInputCallback,
    private juce::Timer,
    private juce::AsyncUpdater
{
public:
    /** How often the list is compared with the system's. */
    static constexpr int listRefreshIntervalMs = 500;

    /** Why the last chosen port did not open. */
    struct OpenFailure
    {
        OpenProblem problem = OpenProblem::none;
        juce::String portName;
        juce::String detail;
    };

    /** A link to the system's MIDI ports. */
    MidiInterfaceClass();

    /** A link to the ports of the given directory (tests pass a fake). */
    explicit MidiInterfaceClass (std::unique_ptr<MidiPortDirectory> portDirectory);

    ~MidiInterfaceClass() override;

    juce::uint32 readBytes (juce::uint8* destination, juce::uint32 maximumCount) override;

    /** Sends through the open port. When the port reports a failure (and the
        sending thread was not asked to stop), the port counts as dead from
        then on: isReady is false at once, and the port is closed on the
        message thread. */
    int sendMessage (const juce::uint8* data, int length) override;

    bool isReady() override;
    int getPreferredHeight() override;
    void selectOutput (int id) override;
    void selectInput (int id) override;

    void resized() override;
    void comboBoxChanged (juce::ComboBox* comboBoxThatHasChanged) override;
    void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override;

    /** Why the last port that was chosen could not be opened, once: the next
        call returns no problem until another open fails. */
    OpenFailure takeOpenFailure();

    /** Compares the list with the system's now, as the timer does, whatever
        the link's state; returns whether the list changed. */
    bool refreshOutputList();

    /** The output list, for tests and for the panel's layout checks. */
    juce::ComboBox& getOutputSelector() noexcept { return *outputSelector; }

    /** The caption above the output list. */
    juce::Label& getOutputLabel() noexcept { return *outputLabel; }

private:
    /** isReady's answer, for a caller that may read the ports. */
    bool readyNow() const;

    void timerCallback() override;
    void handleAsyncUpdate() override;

    /** Fills the list from outputDevices and shows the entry with this id;
        0 shows none, a negative id "(Disconnected)". */
    void fillSelector (int selectedId);
    void openOutput (int id);
    void closeOutput();
    void showDisconnected();

    std::unique_ptr<MidiPortDirectory> portDirectory;

    int outputDeviceCount = 0;
    int inputDeviceCount = 0;
    bool useInput = false;
    bool useOutput = true;
    juce::Array<juce::MidiDeviceInfo> outputDevices;
    juce::StringArray outputDeviceNames;
    std::unique_ptr<MidiOutputPort> midiOutput;
    juce::MidiDeviceInfo openDevice;
    std::atomic<bool> outputFailed { false };
    OpenFailure lastOpenFailure;
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
