#include "app/DisplayCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
/** Sets DISPLAY for one test and puts the old value back. */
struct DisplayVariable
{
    explicit DisplayVariable (const char* value)
    {
        if (const char* old = std::getenv ("DISPLAY"))
            saved = old;

        if (value == nullptr)
            ::unsetenv ("DISPLAY");
        else
            ::setenv ("DISPLAY", value, 1);
    }

    ~DisplayVariable()
    {
        if (saved.isEmpty())
            ::unsetenv ("DISPLAY");
        else
            ::setenv ("DISPLAY", saved.toRawUTF8(), 1);
    }

    juce::String saved;
};
} // namespace

TEST (DisplayCheck, ADisplayIsOnlyOneWhoseServerAnswers)
{
    {
        const DisplayVariable none (nullptr);
        EXPECT_EQ (DisplayCheck::findProblem(), "DISPLAY is not set");
    }
    {
        const DisplayVariable empty ("");
        EXPECT_EQ (DisplayCheck::findProblem(), "DISPLAY is not set");
    }

    // A display number no server here listens on: its socket is missing.
    ASSERT_FALSE (juce::File ("/tmp/.X11-unix/X4711").exists());
    {
        const DisplayVariable gone (":4711");
        EXPECT_EQ (DisplayCheck::findProblem(), "no X server answers on DISPLAY=:4711");
    }

    // The tests run under Xvfb: that server answers.
    const DisplayVariable current (std::getenv ("DISPLAY"));

    if (current.saved.isEmpty())
        GTEST_SKIP() << "no display to compare with";

    EXPECT_EQ (DisplayCheck::findProblem(), "");
}

// Xvfb as xvfb-run starts it resets whenever its last client leaves, and a
// reset drops a connection still being set up: the probe must not be the
// last client to leave just before JUCE connects. A reset clears the root
// window's properties, so one set by a client that then leaves survives only
// if the probe's connection is still there.
TEST (DisplayCheck, ItsProbeKeepsAServerThatResetsFromResetting)
{
    juce::ChildProcess server;
    ASSERT_TRUE (server.start ("Xvfb -displayfd 1 -nolisten tcp -screen 0 64x64x24", juce::ChildProcess::wantStdOut));

    // Xvfb writes its display's number once it takes connections.
    juce::String number;
    char c = 0;

    while (server.readProcessOutput (&c, 1) == 1 && c != '\n')
        number += juce::String::charToString (c);

    ASSERT_TRUE (number.containsOnly ("0123456789") && number.isNotEmpty()) << "Xvfb did not start";
    const auto display = ":" + number;
    const DisplayVariable variable (display.toRawUTF8());

    ASSERT_EQ (DisplayCheck::findProblem(), "");

    const auto xprop = [&display] (const juce::String& arguments)
    {
        juce::ChildProcess client;

        if (! client.start ("xprop -display " + display + " -root " + arguments))
            return juce::String ("xprop did not start");

        auto output = client.readAllProcessOutput();
        client.waitForProcessToFinish (10000);
        return output;
    };

    xprop ("-f NIMBO_MARK 8s -set NIMBO_MARK kept");
    EXPECT_TRUE (xprop ("NIMBO_MARK").contains ("\"kept\"")) << "the server reset when the mark's client left";

    server.kill();
}
