#include "app/OutputLister.h"

#include <ostream>

int OutputLister::list (MidiPortDirectory& ports, std::ostream& out, std::ostream& err)
{
    const auto names = ports.scanOutputs();

    if (names.isEmpty())
    {
        err << "No MIDI output ports found." << std::endl;
        return 0;
    }

    for (int i = 0; i < names.size(); ++i)
        out << (i + 1) << '\t' << names[i].toStdString() << '\n';

    out.flush();
    return 0;
}
