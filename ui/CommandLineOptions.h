#pragma once

#include <juce_core/juce_core.h>

/** What the command line asks for. The whole parameter string is searched;
    options may stand anywhere and in any order, and case is ignored.

    - "--file" (whole word): the path is everything after its first occurrence,
      trimmed, with one surrounding pair of double quotes removed; so it must
      come last.
    - "--autoupdate" (whole word): select an output and start at once.
    - "--outputid n" / "--inputid n" (the blank is part of the option): read
      only with --autoupdate; values below 1 become 1.
    - "--list-outputs" (whole word): print the output ports and exit.
*/
class CommandLineOptions
{
public:
    explicit CommandLineOptions (const juce::String& commandLine);

    bool hasFile = false;
    juce::String filePath;
    bool autoUpdate = false;
    int outputId = 1;
    int inputId = 1;
    bool listOutputs = false;

    /** True when option occurs as a whole word: not preceded or followed by a
        letter or digit. Case is ignored. */
    static bool containsOption (const juce::String& commandLine, const juce::String& option);

    /** One command-line argument, given as the bytes the system passed, as
        text: the bytes as they are when they are well-formed UTF-8, otherwise
        read byte by byte as ISO-8859-1 (Latin-1). JUCE's strings take any
        bytes for UTF-8, and some that are not (a Latin-1 'à', 0xE0, or the
        overlong C0 80 that JUCE's own UTF-8 check lets through) make them
        write past their own buffer; so no argument may reach JUCE before it
        went through here. */
    static juce::String argumentFromBytes (const char* bytes);

    /** The port number after the first occurrence of optionWithBlank, read as
        atoi would (leading white space, an optional sign, digits), clamped to
        the int range, and raised to 1 when below 1 or absent. */
    static int readPortNumber (const juce::String& commandLine, const juce::String& optionWithBlank);

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CommandLineOptions)
};
