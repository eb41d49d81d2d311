#pragma once

#include "ui/UpdateAttempt.h"

#include <functional>

/** The one line on stdout that tells a script or a log how an automatic
    update attempt ended, for example (one line):

        NimboSwUpdater: outcome=completed status=0 image="Tremoran Roduza Delay"
        version="1.0.01" revision=473 size=295325 sha256=<64 hex digits> file=-
        output=2 output_name="Pedal MIDI 1" messages=495 bytes=295325

    Fields come in this order, separated by one blank; each is key=value.
    A text value is in double quotes, with backslash, double quote and
    control characters escaped (\\ \" \t \n \r, \xHH); a value that does not
    exist is a bare '-'. status is the exit status the run gets if this
    attempt is its last.
*/
class OutcomeLine
{
public:
    /** Where the lines go: the program writes them to stdout, tests record them. */
    using Sink = std::function<void (const juce::String& line)>;

    /** Writes each line to stdout and flushes at once, so a script that
        reads the output sees it while the window is still open. */
    static Sink standardOutput();

    /** The line for this attempt, without a line break. */
    static juce::String format (const UpdateAttempt& attempt);

    /** The outcome word: completed, unusable-file, refused-image, no-output,
        output-busy, output-not-opened, send-failed or closed. */
    static const char* wordFor (UpdateAttempt::Ending ending) noexcept;

    /** text in double quotes, escaped so that the line stays one line. */
    static juce::String quoted (const juce::String& text);

private:
    OutcomeLine() = delete;
};
