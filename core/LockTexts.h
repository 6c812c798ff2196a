// What the user reads and hears of the lock for cleaning: the usage box, the refusal, the error,
// the end, and the countdown.
#pragma once

#include <cstdint>
#include <string>

namespace quelvant::core {

inline constexpr const wchar_t* kLockUsageText =
    L"Usage:\n"
    L"  Quelvant.exe /lock SECONDS\tblocks every key and the mouse for 5 to 3600 seconds\n"
    L"  Quelvant.exe /unlock\tends that lock now\n\n"
    L"Ctrl+Alt+Shift+Q ends a lock at once.";
inline constexpr const wchar_t* kLockForbiddenText =
    L"Your administrator does not allow the lock for cleaning on this computer.";
inline constexpr const wchar_t* kLockErrorText = L"Could not Lock for Cleaning.";
inline constexpr const wchar_t* kLockEndedText = L"Lock for Cleaning Ended";

// "Locked for cleaning: 0:42 left. Ctrl+Alt+Shift+Q ends it now.", the time left in whole
// seconds rounded up, as minutes and seconds.
std::wstring LockCountdownText(std::uint64_t millisecondsLeft);

} // namespace quelvant::core
