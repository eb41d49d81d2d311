#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

/** A link to a device: a visible component that lets the user choose the
    device, and a change broadcaster that tells listeners after every choice.

    Subclasses implement one transport (MIDI in this program). The upload
    worker sends through sendMessage; the panel asks isReady.
*/
class InterfaceBaseClass : public juce::Component, public juce::ChangeBroadcaster
{
public:
    /** sendMessage results. */
    enum SendResult
    {
        sendOk = 0,
        sendFailed = -1
    };

    ~InterfaceBaseClass() override = default;

    /** Copies up to maximumCount received bytes to destination; returns how many. */
    virtual juce::uint32 readBytes (juce::uint8* destination, juce::uint32 maximumCount) = 0;

    /** Sends one complete message and returns once the device has taken it:
        sendOk, or sendFailed when the device reported that it could not take
        it. With no device open nothing is sent and the result is sendOk. */
    virtual int sendMessage (const juce::uint8* data, int length) = 0;

    /** True when the link can carry an upload (a device is open). Safe to call
        on the upload thread while the message thread uses the link. */
    virtual bool isReady() = 0;

    /** The height this component wants in its parent's layout. */
    virtual int getPreferredHeight() = 0;

    /** Selects the output with this item id, as if the user had chosen it. */
    virtual void selectOutput (int id) = 0;

    /** Selects the input with this item id. */
    virtual void selectInput (int id) = 0;

    /** Whether the component is enabled (itself and its parents), readable on
        any thread: the upload thread asks it before each message, and takes
        the message-manager lock to disable the link only when it is enabled.
        A subclass that overrides enablementChanged must call this class's. */
    bool isEnabledOnAnyThread() const noexcept { return enabledNow.load(); }

protected:
    void enablementChanged() override { enabledNow = isEnabled(); }

private:
    std::atomic<bool> enabledNow { true };
};
