#pragma once

#include <juce_core/juce_core.h>

/** One attempt at an update during a run, as a script is told about it: how
    it ended, what was to be sent, to which output, and how much went out.

    An attempt is an upload that ended (however it ended), or a start that
    never became an upload: an automatic update whose file cannot be used,
    or an update asked for while no output could be opened.
*/
struct UpdateAttempt
{
    enum class Ending
    {
        completed, ///< every byte was sent
        unusableFile, ///< the --file image could not be read; nothing was sent
        refusedImage, ///< the image was refused before anything was sent
        noOutput, ///< no such output, or none open; nothing was sent
        outputBusy, ///< the output is held by another program; nothing was sent
        outputNotOpened, ///< the output could not be opened for another reason; nothing was sent
        sendFailed, ///< the upload broke off: the device stopped taking data or went away
        closed ///< the program was closed before the upload completed
    };

    Ending ending = Ending::closed;

    /** The image to be sent; no name and a size of -1 when there is none
        (the file named with --file could not be read). */
    juce::String imageName;
    juce::String imageVersion;
    int imageRevision = 0;
    juce::int64 imageSize = -1;
    /** Lower-case hex SHA-256 of the image's bytes, as sha256sum prints it;
        empty when there is no image. */
    juce::String imageSha256;

    /** The path given with --file, empty for the built-in image. */
    juce::String filePath;

    /** The output's number as --outputid takes it (0: none) and its name
        (empty: not known). */
    int outputNumber = 0;
    juce::String outputName;

    juce::uint32 messagesSent = 0;
    juce::uint64 bytesSent = 0;
};
