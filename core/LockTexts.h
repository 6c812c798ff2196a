// The lock for cleaning's countdown, as the user reads it. Platform-free.
#pragma once

#include "Ports.h"

#include <cstdint>
#include <string>

namespace quelvant::core {

// "Locked for cleaning: 0:42 left. Ctrl+Alt+Shift+Q ends it now.", the time left in whole
// seconds rounded up, as minutes and seconds.
std::wstring LockCountdownText(TextSource& texts, std::uint64_t millisecondsLeft);

} // namespace quelvant::core
