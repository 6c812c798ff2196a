#include "LockTexts.h"

namespace quelvant::core {

std::wstring LockCountdownText(std::uint64_t millisecondsLeft) {
    const std::uint64_t seconds = (millisecondsLeft + 999) / 1000;
    const std::uint64_t rest = seconds % 60;
    return L"Locked for cleaning: " + std::to_wstring(seconds / 60) + (rest < 10 ? L":0" : L":") +
           std::to_wstring(rest) + L" left. Ctrl+Alt+Shift+Q ends it now.";
}

} // namespace quelvant::core
