#include "LockTexts.h"

namespace quelvant::core {

std::wstring LockCountdownText(TextSource& texts, std::uint64_t millisecondsLeft) {
    const std::uint64_t seconds = (millisecondsLeft + 999) / 1000;
    const std::uint64_t rest = seconds % 60;
    // Seconds always in two digits.
    const std::wstring restDigits = (rest < 10 ? L"0" : L"") + std::to_wstring(rest);
    return texts.Fill(TextId::LockCountdown, {std::to_wstring(seconds / 60), restDigits});
}

} // namespace quelvant::core
