#include "protocol/AutoUpdateFlag.h"

std::atomic<bool> AutoUpdateFlag::flag { false };

void AutoUpdateFlag::set (bool isOn) noexcept { flag.store (isOn); }

bool AutoUpdateFlag::isSet() noexcept { return flag.load(); }
