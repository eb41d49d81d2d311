#include "ui/CommandLineOptions.h"

#include <cstring>
#include <limits>
#include <vector>

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

namespace
{
/** Well-formed as RFC 3629 has it: no overlong forms, no surrogates, nothing
    above U+10FFFF. JUCE's own CharPointer_UTF8::isValidString is laxer. */
bool isWellFormedUtf8 (const juce::uint8* bytes, size_t size)
{
    for (size_t i = 0; i < size;)
    {
        const auto lead = bytes[i];

        if (lead < 0x80)
        {
            ++i;
            continue;
        }

        // Not a lead byte: a continuation byte, C0/C1 (always overlong), or
        // the start of something above U+10FFFF.
        if (lead < 0xC2 || lead > 0xF4)
            return false;

        const size_t extra = lead >= 0xF0 ? 3 : (lead >= 0xE0 ? 2 : 1);
        const juce::uint32 smallest = extra == 1 ? 0x80 : (extra == 2 ? 0x800 : 0x10000);

        if (size - i <= extra)
            return false;

        juce::uint32 c = lead & (0x3Fu >> extra);

        for (size_t k = 1; k <= extra; ++k)
        {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;

            c = (c << 6) | (bytes[i + k] & 0x3Fu);
        }

        if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;

        i += extra + 1;
    }

    return true;
}
} // namespace

juce::String CommandLineOptions::argumentFromBytes (const char* bytes)
{
    const auto size = std::strlen (bytes);
    const auto* const unsignedBytes = reinterpret_cast<const juce::uint8*> (bytes);

    if (isWellFormedUtf8 (unsignedBytes, size))
        return juce::String::fromUTF8 (bytes, (int) size);

    std::vector<juce::juce_wchar> latin1 (unsignedBytes, unsignedBytes + size);
    latin1.push_back (0);
    return juce::String (juce::CharPointer_UTF32 (latin1.data()));
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
