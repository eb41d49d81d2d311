#pragma once

#include "midi/MidiOutputPort.h"

#include <juce_core/juce_core.h>

#include <memory>

/** Why a MIDI output could not be opened. The user is told differently for
    each: a busy device wants the other program closed, a vanished one wants
    the pedal reconnected. */
enum class OpenProblem
{
    none,
    busy, ///< another program holds the device
    gone, ///< the device is no longer connected
    failed ///< any other error the MIDI service reported
};

/** The result of opening a MIDI output: the open port, or why there is none. */
struct OpenResult
{
    std::unique_ptr<MidiOutputPort> port;
    OpenProblem problem = OpenProblem::none;
    /** What the MIDI service said, for the user, when it said anything. */
    juce::String detail;

    /** A result without a port. */
    static OpenResult failure (OpenProblem problem, const juce::String& detail = {})
    {
        OpenResult result;
        result.problem = problem;
        result.detail = detail;
        return result;
    }
};
