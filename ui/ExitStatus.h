#pragma once

/** The program's exit statuses, for scripts.

    With --autoupdate a run ends with the status of its last update attempt:
    0 only when that attempt was an upload that completed. A run without
    --autoupdate that opened its window always ends with 0: a person read
    the window. The numbers are part of the command-line interface; never
    reuse one for another meaning.
*/
enum class ExitStatus : int
{
    success = 0, ///< the last upload completed (every byte was sent), or nothing was asked of a script
    noDisplay = 2, ///< no X server answers on DISPLAY (Linux)
    unusableFile =
        3, ///< the --file image cannot be read: missing, a folder, not a regular file, unreadable, empty, too large
    refusedImage = 4, ///< the image is not a gapless run of complete SysEx messages
    noOutput = 5, ///< no output with that number, or none open when the upload was to start
    outputBusy = 6, ///< another program holds the output
    outputNotOpened = 7, ///< the output is listed but the MIDI service would not open it
    sendFailed = 8, ///< the upload broke off: a send failed or the output went away
    closedBeforeCompletion = 9, ///< the window was closed (or the program asked to quit) during the upload
    alreadyRunning = 10, ///< another updater was running, so this one did nothing
    midiServiceUnavailable = 11 ///< --list-outputs: the MIDI service cannot be asked
};
