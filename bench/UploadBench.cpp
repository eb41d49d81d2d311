// Streams the built-in image through the real upload worker to a link that
// only records when each message arrived, and reports how close the pacing
// comes to its floor of 494 x 15 ms, the gaps between sends, the change
// messages the panel would get and the worker's CPU time.

#include "firmware/FirmwareImage.h"
#include "midi/InterfaceBaseClass.h"
#include "protocol/BasicSysexProtocolClass.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <vector>

namespace
{
double threadCpuMs()
{
    timespec ts {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1.0e6;
}

class TimingLink : public InterfaceBaseClass
{
public:
    juce::uint32 readBytes (juce::uint8*, juce::uint32) override { return 0; }

    int sendMessage (const juce::uint8*, int length) override
    {
        // Called on the worker thread: its CPU clock is the worker's.
        sendTimes.push_back (juce::Time::getMillisecondCounterHiRes());
        if (workerCpuAtFirstSend < 0)
            workerCpuAtFirstSend = threadCpuMs();
        workerCpuAtLastSend = threadCpuMs();
        bytes += length;
        return sendOk;
    }

    bool isReady() override { return true; }
    int getPreferredHeight() override { return 50; }
    void selectOutput (int) override {}
    void selectInput (int) override {}

    std::vector<double> sendTimes;
    double workerCpuAtFirstSend = -1, workerCpuAtLastSend = 0;
    long bytes = 0;
};

struct CallbackCounter : public juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

double percentile (std::vector<double> sorted, double p)
{
    const auto index = (size_t) std::min ((double) sorted.size() - 1, std::ceil (p / 100.0 * sorted.size()) - 1);
    return sorted[index];
}
} // namespace

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;

    auto image = FirmwareImage::createBuiltIn();
    image->fixedPacing = true;

    TimingLink link;
    BasicSysexProtocolClass protocol (&link, image.get());
    CallbackCounter callbacks;
    protocol.addChangeListener (&callbacks);

    const auto start = juce::Time::getMillisecondCounterHiRes();
    protocol.start();

    while (protocol.isThreadRunning())
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

    const auto end = juce::Time::getMillisecondCounterHiRes();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    protocol.removeChangeListener (&callbacks);

    std::vector<double> gaps;
    for (size_t i = 1; i < link.sendTimes.size(); ++i)
        gaps.push_back (link.sendTimes[i] - link.sendTimes[i - 1]);
    std::sort (gaps.begin(), gaps.end());

    const double firstToLast = link.sendTimes.back() - link.sendTimes.front();
    const double floorMs = 15.0 * (double) gaps.size();
    const double workerCpu = link.workerCpuAtLastSend - link.workerCpuAtFirstSend;

    std::printf ("messages sent            %zu (%ld bytes), status \"%s\"\n", link.sendTimes.size(), link.bytes,
                 protocol.getStatusText().toRawUTF8());
    std::printf ("total (start to end)     %.3f s\n", (end - start) / 1000.0);
    std::printf ("first to last send start %.3f s\n", firstToLast / 1000.0);
    std::printf ("floor (%zu x 15 ms)      %.3f s\n", gaps.size(), floorMs / 1000.0);
    std::printf ("ratio to floor           %.4f\n", firstToLast / floorMs);
    std::printf ("gap ms min/median/mean/p99/max  %.3f / %.3f / %.3f / %.3f / %.3f\n", gaps.front(),
                 percentile (gaps, 50), std::accumulate (gaps.begin(), gaps.end(), 0.0) / (double) gaps.size(),
                 percentile (gaps, 99), gaps.back());
    std::printf ("gaps below 15.000 ms     %ld\n",
                 (long) std::count_if (gaps.begin(), gaps.end(), [] (double g) { return g < 15.0; }));
    std::printf ("change callbacks         %d\n", callbacks.count);
    std::printf ("worker CPU               %.1f ms (%.2f %% of a core)\n", workerCpu, 100.0 * workerCpu / firstToLast);

    return gaps.front() >= 15.0 && link.sendTimes.size() == 495 ? 0 : 1;
}
