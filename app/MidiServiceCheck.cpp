#include "app/MidiServiceCheck.h"

#if JUCE_LINUX
    #include <alsa/asoundlib.h>
#endif

juce::String MidiServiceCheck::findProblem()
{
#if JUCE_LINUX
    // The same sequencer JUCE lists the ports of; without blocking, so a
    // sequencer that is somehow stuck cannot hold the answer back.
    snd_seq_t* sequencer = nullptr;
    const int error = snd_seq_open (&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);

    if (error < 0)
        return "the ALSA sequencer cannot be opened (" + juce::String::fromUTF8 (snd_strerror (error)) + ")";

    snd_seq_close (sequencer);
#endif
    return {};
}
