#pragma once

#include <juce_core/juce_core.h>

/** Checks that a firmware image is a gapless run of complete SysEx messages:
    each one F0, then data bytes below 0x80, then F7, with nothing between or
    after them. The upload sends nothing of an image that fails, because a
    pedal given a broken message stream may not start again. */
class SysexImageCheck
{
public:
    struct Result
    {
        bool valid = false;
        juce::uint64 messageCount = 0;
        /** What is wrong, for the user, when not valid. */
        juce::String problem;
    };

    static Result check (const juce::uint8* data, juce::uint64 size);

private:
    SysexImageCheck() = delete;
};
