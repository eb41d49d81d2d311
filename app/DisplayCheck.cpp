#include "app/DisplayCheck.h"

#if JUCE_LINUX || JUCE_BSD
    #include <chrono>
    #include <condition_variable>
    #include <cstdlib>
    #include <memory>
    #include <mutex>
    #include <string>
    #include <thread>
    #include <vector>

namespace
{
using OpenDisplay = void* (*) (const char*);

struct Answer
{
    std::mutex lock;
    std::condition_variable arrived;
    bool done = false;
    bool serverAnswered = false;
};

// The probes' connections, never closed: on a server that resets when its
// last client leaves (Xvfb as xvfb-run starts it), closing one would reset
// the server just as JUCE connects, and the reset drops a connection that is
// still being set up.
struct KeptConnections
{
    std::mutex lock;
    std::vector<void*> connections;
};

// Never destroyed: a probe that answers after its time-out still adds to it,
// even while the program exits.
KeptConnections& kept()
{
    static auto* const all = new KeptConnections();
    return *all;
}
} // namespace

juce::String DisplayCheck::findProblem (int timeoutMs)
{
    const char* const display = std::getenv ("DISPLAY");

    if (display == nullptr || *display == 0)
        return "DISPLAY is not set";

    const auto name = juce::String::fromUTF8 (display);

    // The library JUCE loads for its own X calls; kept loaded for it.
    static juce::DynamicLibrary x11;

    if (x11.getNativeHandle() == nullptr && ! x11.open ("libX11.so.6"))
        return "libX11.so.6 cannot be loaded";

    const auto openDisplay = reinterpret_cast<OpenDisplay> (x11.getFunction ("XOpenDisplay"));

    if (openDisplay == nullptr)
        return "libX11.so.6 has no XOpenDisplay";

    // A display on a host that is gone keeps XOpenDisplay waiting for the
    // network's time-out, minutes; so the question is asked on a thread of
    // its own, and the program ends without it if there is no answer.
    auto answer = std::make_shared<Answer>();

    std::thread (
        [answer, openDisplay, displayName = std::string (display)]
        {
            // Asked again after a refusal, for the same reason: a
            // connection that arrives while such a server resets is dropped.
            void* connection = nullptr;

            for (int attempt = 0; attempt < 3 && connection == nullptr; ++attempt)
            {
                if (attempt > 0)
                    std::this_thread::sleep_for (std::chrono::milliseconds (100));

                connection = openDisplay (displayName.c_str());
            }

            if (connection != nullptr)
            {
                const std::lock_guard<std::mutex> held (kept().lock);
                kept().connections.push_back (connection);
            }

            const std::lock_guard<std::mutex> held (answer->lock);
            answer->done = true;
            answer->serverAnswered = connection != nullptr;
            answer->arrived.notify_all();
        })
        .detach();

    std::unique_lock<std::mutex> held (answer->lock);

    if (! answer->arrived.wait_for (held, std::chrono::milliseconds (timeoutMs), [&] { return answer->done; }))
        return "the X server on DISPLAY=" + name + " did not answer within " + juce::String (timeoutMs / 1000.0, 1)
               + " s";

    return answer->serverAnswered ? juce::String() : "no X server answers on DISPLAY=" + name;
}
#else
juce::String DisplayCheck::findProblem (int) { return {}; }
#endif
