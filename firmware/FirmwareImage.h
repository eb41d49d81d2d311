#pragma once

#include "ui/UserAlert.h"

#include <juce_core/juce_core.h>

#include <memory>

/** One firmware image to upload: its bytes and what the user is shown about it.

    The record either points at the image built into the program or owns the
    bytes of a file read from disk (fileData). data stays null when there is
    no usable image, and the caller then keeps the image it had.
*/
struct FirmwareImage
{
    /** Files above this size cannot be a firmware image; they are refused
        before anything is read, so a wrong path cannot exhaust memory. */
    static constexpr juce::int64 maximumFileSize = 16 * 1024 * 1024;

    /** A record with the given texts and no image yet. */
    FirmwareImage (const juce::String& name, const juce::String& version, int revision);

    /** Reads the whole file at filePath (relative to the working directory
        when not absolute). If it is missing, unreadable or too large, the user
        is told through tellUser and data stays null; an empty file leaves data
        null without a message. */
    explicit FirmwareImage (const juce::String& filePath, const UserAlert::Function& tellUser = UserAlert::modalBox());

    /** The image carried inside the program ("NimboDelay", "1.0.01", R473). */
    static std::unique_ptr<FirmwareImage> createBuiltIn();

    juce::String getName() const { return name; }
    juce::String getVersion() const { return version; }

    const juce::uint8* data = nullptr;
    juce::int64 size = 0;
    juce::String name;
    juce::String version;
    int revision = 0;
    bool fixedPacing = false;
    juce::MemoryBlock fileData;

private:
    void readFile (const juce::String& filePath, const UserAlert::Function& tellUser);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FirmwareImage)
};
