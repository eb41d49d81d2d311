#include "app/Application.h"
#include "app/DisplayCheck.h"
#include "app/MidiServiceCheck.h"
#include "app/OutputLister.h"
#include "midi/JuceMidiPortDirectory.h"
#include "ui/CommandLineOptions.h"
#include "ui/ExitStatus.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#if JUCE_WINDOWS
    #include <windows.h>
#endif

JUCE_CREATE_APPLICATION_DEFINE (Application)

namespace
{
// Answered before the application starts: no window, and no single-instance
// check that would swallow it while an updater window is open.
int listOutputs()
{
    JuceMidiPortDirectory ports;
    return OutputLister::list (ports, MidiServiceCheck::findProblem(), std::cout, std::cerr);
}

#if JUCE_WINDOWS
// A GUI program has no console of its own: what it prints (the output list,
// the outcome line, the second instance's note) goes to the console it was
// started from, unless that stream already goes to a pipe or a file.
void writeToParentConsoleUnlessRedirected()
{
    const auto redirected = [] (DWORD stream) { return GetFileType (GetStdHandle (stream)) != FILE_TYPE_UNKNOWN; };
    const bool outRedirected = redirected (STD_OUTPUT_HANDLE);
    const bool errRedirected = redirected (STD_ERROR_HANDLE);

    if ((outRedirected && errRedirected) || ! AttachConsole (ATTACH_PARENT_PROCESS))
        return;

    if (! outRedirected)
        std::freopen ("CONOUT$", "w", stdout);

    if (! errRedirected)
        std::freopen ("CONOUT$", "w", stderr);
}
#else
juce::String parametersAsOneString (int argc, const char* argv[])
{
    // The same parameter string JUCE hands to initialise().
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    return args.joinIntoString (" ");
}
#endif
} // namespace

#if JUCE_WINDOWS
int __stdcall WinMain (HINSTANCE, HINSTANCE, char*, int)
{
    writeToParentConsoleUnlessRedirected();

    if (CommandLineOptions (juce::JUCEApplicationBase::getCommandLineParameters()).listOutputs)
        return listOutputs();

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main();
}
#else
int main (int argc, char* rawArgv[])
{
    // JUCE reads the arguments as UTF-8, whatever they are (see argumentFromBytes).
    std::vector<std::string> arguments;
    std::vector<const char*> argv;

    for (int i = 0; i < argc; ++i)
        arguments.push_back (CommandLineOptions::argumentFromBytes (rawArgv[i]).toStdString());

    for (const auto& argument : arguments)
        argv.push_back (argument.c_str());

    argv.push_back (nullptr);

    const CommandLineOptions options (parametersAsOneString (argc, argv.data()));

    if (options.listOutputs)
        return listOutputs();

    const auto displayProblem = DisplayCheck::findProblem();

    if (displayProblem.isNotEmpty())
    {
        std::cerr << "NimboSwUpdater needs a graphical display, and there is none (" << displayProblem.toStdString()
                  << ").\n"
                     "Run it from a desktop session, or under a virtual display:\n"
                     "    xvfb-run -a "
                  << argv[0] << " [options]\n";
        return (int) ExitStatus::noDisplay;
    }

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, argv.data());
}
#endif
