#pragma once

/** How the last upload ended, as the worker saw it. */
enum class UploadOutcome
{
    none, ///< no upload has ended since the last one was started
    completed, ///< every byte was sent
    invalidImage, ///< the image was refused before anything was sent
    noOutput, ///< no output was open when the upload began
    outputClosed, ///< the output was closed while the upload ran
    sendFailed, ///< the device stopped taking data or reported an error
    stopped ///< the worker was asked to stop before the end
};
