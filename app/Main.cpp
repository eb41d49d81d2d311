#include "app/Application.h"
#include "app/OutputLister.h"
#include "midi/JuceMidiPortDirectory.h"
#include "ui/CommandLineOptions.h"

#include <cstdlib>
#include <iostream>

JUCE_CREATE_APPLICATION_DEFINE (Application)

namespace
{
juce::String parametersAsOneString (int argc, char* argv[])
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

#if JUCE_WINDOWS
JUCE_MAIN_FUNCTION_DEFINITION
#else
int main (int argc, char* argv[])
{
    const CommandLineOptions options (parametersAsOneString (argc, argv));

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
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
#endif
