#pragma once

#include "firmware/FirmwareImageReader.h"

#include <juce_core/juce_core.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <optional>

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

    using Problem = FirmwareImageReader::Problem;

    /** What takes the place of a file that cannot be used, as the user is
        told: the built-in image (a person drives the window), or nothing (an
        automatic update never sends an image it was not asked to send). */
    enum class Fallback
    {
        builtInImage,
        nothing
    };

    /** A message box: its icon, title and text. */
    struct Notice
    {
        juce::MessageBoxIconType icon;
        juce::String title;
        juce::String message;
    };

    /** Tells the user one thing that must be acknowledged: an icon, a title
        and a text. The program passes a modal box; tests record the call. */
    using TellUser =
        std::function<void (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message)>;

    /** A record with the given texts and no image yet. */
    FirmwareImage (const juce::String& name, const juce::String& version, int revision);

    /** Reads the whole file at filePath (relative to the working directory
        when not absolute), as readFile does, and tells the user through
        tellUser when it cannot be used (see getNotice). */
    FirmwareImage (const juce::String& filePath, const TellUser& tellUser, Fallback fallback = Fallback::builtInImage);

    /** Reads the whole file at filePath without telling anyone. When it is
        missing, a folder, not a regular file (a pipe, a device, a socket),
        unreadable, empty or too large, data stays null and getProblem says
        why.
        Nothing here waits for another process. */
    static std::unique_ptr<FirmwareImage> readFile (const juce::String& filePath);

    /** The image carried inside the program ("NimboDelay", "1.0.01", R473). */
    static std::unique_ptr<FirmwareImage> createBuiltIn();

    /** The box that tells the user why the file could not be used, and what
        is used instead; none when there is no problem, and none for an empty
        file whose place the built-in image takes (as it always was). */
    std::optional<Notice> getNotice (Fallback fallback) const;

    /** Why the file could not be used, in a few words for a status line:
        "was not found", "is a folder", ... */
    juce::String describeProblem() const;

    Problem getProblem() const noexcept { return readResult.problem; }

    juce::String getName() const { return name; }
    juce::String getVersion() const { return version; }

    const juce::uint8* data = nullptr;
    juce::int64 size = 0;
    juce::String name;
    juce::String version;
    int revision = 0;
    bool fixedPacing = false;
    juce::MemoryBlock fileData;

    /** For a record read from a file: the path as it was given, and how
        reading it went (Problem::none when the file could be used). */
    juce::String filePath;
    FirmwareImageReader::Result readResult;

private:
    void read (const juce::String& filePath);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FirmwareImage)
};
