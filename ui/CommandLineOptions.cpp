#include "ui/CommandLineOptions.h"

#include <limits>

CommandLineOptions::CommandLineOptions (const juce::String& commandLine)
{
    hasFile = containsOption (commandLine, "--file");

    if (hasFile)
    {
        filePath = commandLine.fromFirstOccurrenceOf ("--file", false, true).trim();

        // The only way to pass a path with blanks; a quote cannot be part of a
        // Windows file name, so one surrounding pair is never meant literally.
        if (filePath.length() >= 2 && filePath.startsWithChar ('"') && filePath.endsWithChar ('"'))
            filePath = filePath.substring (1, filePath.length() - 1);
    }

    autoUpdate = containsOption (commandLine, "--autoupdate");

    if (autoUpdate)
    {
        inputId = readPortNumber (commandLine, "--inputid ");
        outputId = readPortNumber (commandLine, "--outputid ");
    }

    listOutputs = containsOption (commandLine, "--list-outputs");
}

bool CommandLineOptions::containsOption (const juce::String& commandLine, const juce::String& option)
{
    return commandLine.containsWholeWordIgnoreCase (option);
}

int CommandLineOptions::readPortNumber (const juce::String& commandLine, const juce::String& optionWithBlank)
{
    const int found = commandLine.indexOfIgnoreCase (optionWithBlank);

    if (found < 0)
        return 1;

    auto text = commandLine.getCharPointer() + (found + optionWithBlank.length());

    // The C library's isspace set, as atoi skips it.
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\v' || *text == '\f' || *text == '\r')
        ++text;

    bool negative = false;

    if (*text == '+' || *text == '-')
    {
        negative = (*text == '-');
        ++text;
    }

    juce::int64 value = 0;

    for (; *text >= '0' && *text <= '9'; ++text)
    {
        value = value * 10 + (int) (*text - '0');

        if (value > std::numeric_limits<int>::max())
        {
            value = std::numeric_limits<int>::max();
            break;
        }
    }

    if (negative || value < 1)
        return 1;

    return (int) value;
}
