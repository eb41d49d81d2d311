#include "app/OutputLister.h"

#include "ui/ExitStatus.h"

#include <ostream>

int OutputLister::list (MidiPortDirectory& ports, const juce::String& serviceProblem, std::ostream& out,
                        std::ostream& err)
{
    if (serviceProblem.isNotEmpty())
    {
        err << "NimboSwUpdater: cannot ask the MIDI service for its outputs: " << serviceProblem.toStdString()
            << std::endl;
        return (int) ExitStatus::midiServiceUnavailable;
    }

    juce::StringArray names;

    for (const auto& device : ports.scanOutputs())
        names.add (device.name);

    if (names.isEmpty())
    {
        err << "No MIDI output ports found." << std::endl;
        return (int) ExitStatus::success;
    }

    for (int i = 0; i < names.size(); ++i)
        out << (i + 1) << '\t' << names[i].toStdString() << '\n';

    out.flush();
    return (int) ExitStatus::success;
}
