#include "app/Application.h"
#include "app/OutputLister.h"
#include "midi/JuceMidiPortDirectory.h"
#include "ui/CommandLineOptions.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#if JUCE_WINDOWS
    #include <windows.h>
#endif

JUCE_CREATE_APPLICATION_DEFINE (Application)

#if ! JUCE_WINDOWS
namespace
{
juce::String parametersAsOneString (int argc, const char* argv[])
{
    // The same parameter string JUCE hands to initialise().
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    return args.joinIntoString (" ");
}

bool hasDisplay()
{
    #if JUCE_LINUX || JUCE_BSD
    const char* display = std::getenv ("DISPLAY");
    return display != nullptr && *display != 0;
    #else
    return true;
    #endif
}
} // namespace
#endif

#if JUCE_WINDOWS
int __stdcall WinMain (HINSTANCE, HINSTANCE, char*, int)
{
    // Answered before the application starts: no window, and no single-instance
    // check that would swallow it while an updater window is open.
    if (CommandLineOptions (juce::JUCEApplicationBase::getCommandLineParameters()).listOutputs)
    {
        // A GUI program has no console of its own: unless its output already
        // goes to a pipe or a file, write to the console it was started from.
        const bool redirected = GetFileType (GetStdHandle (STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN;

        if (! redirected && AttachConsole (ATTACH_PARENT_PROCESS))
        {
            std::freopen ("CONOUT$", "w", stdout);
            std::freopen ("CONOUT$", "w", stderr);
        }

        JuceMidiPortDirectory ports;
        return OutputLister::list (ports, std::cout, std::cerr);
    }

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

    // Answered before the application starts: no window, and no single-instance
    // check that would swallow it while an updater window is open.
    if (options.listOutputs)
    {
        JuceMidiPortDirectory ports;
        return OutputLister::list (ports, std::cout, std::cerr);
    }

    if (! hasDisplay())
    {
        std::cerr << "NimboSwUpdater needs a graphical display, and none was found (DISPLAY is not set).\n"
                     "Run it from a desktop session, or under a virtual display:\n"
                     "    xvfb-run -a "
                  << argv[0] << " [options]\n";
        return 2;
    }

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, argv.data());
}
#endif
