#include "app/DisplayCheck.h"

#if JUCE_LINUX || JUCE_BSD
    #include <chrono>
    #include <condition_variable>
    #include <cstdlib>
    #include <memory>
    #include <mutex>
    #include <string>
    #include <thread>

namespace
{
using OpenDisplay = void* (*) (const char*);
using CloseDisplay = int (*) (void*);

struct Answer
{
    std::mutex lock;
    std::condition_variable arrived;
    bool done = false;
    bool serverAnswered = false;
};
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
    const auto closeDisplay = reinterpret_cast<CloseDisplay> (x11.getFunction ("XCloseDisplay"));

    if (openDisplay == nullptr || closeDisplay == nullptr)
        return "libX11.so.6 has no XOpenDisplay";

    // A display on a host that is gone keeps XOpenDisplay waiting for the
    // network's time-out, minutes; so the question is asked on a thread of
    // its own, and the program ends without it if there is no answer.
    auto answer = std::make_shared<Answer>();

    std::thread (
        [answer, openDisplay, closeDisplay, displayName = std::string (display)]
        {
            auto* const connection = openDisplay (displayName.c_str());

            if (connection != nullptr)
                closeDisplay (connection);

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
