#include "app/WindowsTimerThrottling.h"

#include <juce_core/juce_core.h>

#if JUCE_WINDOWS
    #include <windows.h>
#endif

bool WindowsTimerThrottling::optOut()
{
#if JUCE_WINDOWS
    // Declared here: older SDK headers (MinGW's among them) lack them.
    struct PowerThrottlingState
    {
        ULONG version;
        ULONG controlMask;
        ULONG stateMask;
    };

    constexpr int processPowerThrottling = 4; // PROCESS_INFORMATION_CLASS
    constexpr ULONG currentVersion = 1; // PROCESS_POWER_THROTTLING_CURRENT_VERSION
    constexpr ULONG ignoreTimerResolution = 0x4; // PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION

    using SetProcessInformation = BOOL (WINAPI*) (HANDLE, int, LPVOID, DWORD);

    const auto kernel = GetModuleHandleW (L"kernel32.dll");
    const auto function = kernel != nullptr ? GetProcAddress (kernel, "SetProcessInformation") : nullptr;

    if (function == nullptr)
        return false;

    const auto setInformation = reinterpret_cast<SetProcessInformation> (reinterpret_cast<void*> (function));

    // The control bit set with its state bit clear: timer requests are honoured.
    PowerThrottlingState state { currentVersion, ignoreTimerResolution, 0 };
    return setInformation (GetCurrentProcess(), processPowerThrottling, &state, sizeof (state)) != FALSE;
#else
    return false;
#endif
}
