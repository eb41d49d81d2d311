// The command line, as the program receives it: the input is its arguments,
// separated by NUL bytes, in whatever bytes a shell can pass (UTF-8 or not),
// and they go the way main() sends them. Both strings the program builds from
// them are evaluated: the one JUCE hands to the application (arguments with
// blanks quoted) and the plain join that main() reads before the application
// starts. The port numbers are compared with the C library's own reading of
// the same text.

#include "FuzzTarget.h"
#include "ui/CommandLineOptions.h"

#include <juce_events/juce_events.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace juce
{
// Set by JUCEApplicationBase::main from main's arguments; getCommandLineParameters
// reads them. Defined in juce_core.
extern const char* const* juce_argv;
extern int juce_argc;
} // namespace juce

namespace
{
int portNumberAsStrtolReadsIt (const juce::String& commandLine, const juce::String& optionWithBlank)
{
    const int found = commandLine.indexOfIgnoreCase (optionWithBlank);

    if (found < 0)
        return 1;

    const auto rest = commandLine.substring (found + optionWithBlank.length()).toStdString();
    const long long value = std::strtoll (rest.c_str(), nullptr, 10);

    if (value < 1)
        return 1;

    return value > INT_MAX ? INT_MAX : (int) value;
}

void checkOptions (const juce::String& commandLine)
{
    const CommandLineOptions options (commandLine);

    fuzzExpect (options.outputId >= 1 && options.inputId >= 1, "port numbers are never below 1");

    if (options.autoUpdate)
    {
        fuzzExpect (options.outputId == portNumberAsStrtolReadsIt (commandLine, "--outputid "),
                    "--outputid is read as the C library reads a number");
        fuzzExpect (options.inputId == portNumberAsStrtolReadsIt (commandLine, "--inputid "),
                    "--inputid is read as the C library reads a number");
    }
    else
    {
        fuzzExpect (options.outputId == 1 && options.inputId == 1, "without --autoupdate no port number is read");
    }

    if (options.hasFile)
        fuzzExpect (commandLine.contains (options.filePath), "the file path is taken from the command line");
    else
        fuzzExpect (options.filePath.isEmpty(), "no path without --file");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> rawArguments { "NimboSwUpdater" };
    rawArguments.emplace_back();

    for (std::size_t i = 0; i < size; ++i)
    {
        if (data[i] == 0)
            rawArguments.emplace_back();
        else
            rawArguments.back().push_back ((char) data[i]);
    }

    // As main() hands them on, to JUCE and to its own reading.
    std::vector<std::string> arguments;
    std::vector<const char*> argv;
    juce::StringArray plain;

    for (const auto& raw : rawArguments)
        arguments.push_back (CommandLineOptions::argumentFromBytes (raw.c_str()).toStdString());

    for (const auto& argument : arguments)
        argv.push_back (argument.c_str());

    for (std::size_t i = 1; i < arguments.size(); ++i)
        plain.add (juce::String::fromUTF8 (arguments[i].c_str()));

    argv.push_back (nullptr);
    juce::juce_argv = argv.data();
    juce::juce_argc = (int) arguments.size();

    checkOptions (juce::JUCEApplicationBase::getCommandLineParameters());
    checkOptions (plain.joinIntoString (" "));

    juce::juce_argv = nullptr;
    juce::juce_argc = 0;
    return 0;
}
