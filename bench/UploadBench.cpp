// Streams the built-in image through the real upload worker to the tests'
// recording link (nothing is sent anywhere), and reports how close the pacing
// comes to its floor of 494 x 15 ms, the gaps between sends, the change
// messages the panel would get and the worker's CPU time.

#include "TestHelpers.h"
#include "firmware/FirmwareImage.h"
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

    // The worker's clock is its CPU time: read inside each send, on the
    // worker's thread, it tells what the worker spent between sends.
    RecordingLink link;
    link.workerClock = threadCpuMs;
    BasicSysexProtocolClass protocol (&link, image.get());
    ChangeCounter callbacks;
    protocol.addChangeListener (&callbacks);

    const auto start = juce::Time::getMillisecondCounterHiRes();
    protocol.start();

    while (protocol.isThreadRunning())
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

    const auto end = juce::Time::getMillisecondCounterHiRes();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    protocol.removeChangeListener (&callbacks);

    const auto sendTimes = link.getSendTimes();
    const auto workerCpuAtSends = link.getWorkerSendTimes();
    long bytes = 0;
    for (const auto& message : link.getMessages())
        bytes += (long) message.size();

    if (sendTimes.size() < 2)
    {
        std::printf ("messages sent            %zu, status \"%s\"\n", sendTimes.size(),
                     protocol.getStatusText().toRawUTF8());
        return 1;
    }

    std::vector<double> gaps;
    for (size_t i = 1; i < sendTimes.size(); ++i)
        gaps.push_back (sendTimes[i] - sendTimes[i - 1]);
    std::sort (gaps.begin(), gaps.end());

    const double firstToLast = sendTimes.back() - sendTimes.front();
    const double floorMs = 15.0 * (double) gaps.size();
    const double workerCpu = workerCpuAtSends.back() - workerCpuAtSends.front();

    std::printf ("messages sent            %zu (%ld bytes), status \"%s\"\n", sendTimes.size(), bytes,
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

    return gaps.front() >= 15.0 && sendTimes.size() == 495 ? 0 : 1;
}
