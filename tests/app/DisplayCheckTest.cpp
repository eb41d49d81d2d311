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
