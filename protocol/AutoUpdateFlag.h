#pragma once

#include <atomic>

/** The program-wide auto-update switch: set once from the command line before
    any upload can start, read by the upload worker when an upload completes. */
class AutoUpdateFlag
{
public:
    static void set (bool isOn) noexcept;
    static bool isSet() noexcept;

private:
    AutoUpdateFlag() = delete;
    static std::atomic<bool> flag;
};
