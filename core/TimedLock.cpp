#include "TimedLock.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quelvant::core {

namespace {

constexpr bool IsBlank(wchar_t c) noexcept {
    return c == L' ' || c == L'\t';
}

constexpr bool SameAscii(std::wstring_view word, std::wstring_view lower) noexcept {
    if (word.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const wchar_t c = word[i] >= L'A' && word[i] <= L'Z' ? word[i] - L'A' + L'a' : word[i];
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

// Digits only; anything past the largest allowed value is out of range, however long.
bool ParseSeconds(std::wstring_view word, std::uint32_t& seconds) {
    std::uint32_t value = 0;
    for (const wchar_t c : word) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(c - L'0'),
                                        kLockMaxSeconds + 1);
    }
    seconds = value;
    return !word.empty() && value >= kLockMinSeconds && value <= kLockMaxSeconds;
}

} // namespace

LockCommand ParseLockCommand(std::wstring_view commandLine) {
    std::wstring_view words[3];
    std::size_t count = 0;
    bool aSwitch = false;
    for (std::size_t pos = 0; pos < commandLine.size();) {
        if (IsBlank(commandLine[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < commandLine.size() && !IsBlank(commandLine[end])) {
            ++end;
        }
        const std::wstring_view word = commandLine.substr(pos, end - pos);
        // A quoted switch is still a switch, and so a bad word.
        const std::size_t first = word.find_first_not_of(L'"');
        aSwitch = aSwitch || (first != std::wstring_view::npos && word[first] == L'/');
        if (count < std::size(words)) {
            words[count] = word;
        }
        ++count;
        pos = end;
    }
    if (!aSwitch) {
        return {};
    }
    const LockCommand bad{LockCommandKind::Bad, 0};
    if (count == 1 && SameAscii(words[0], L"/unlock")) {
        return {LockCommandKind::Unlock, 0};
    }
    std::uint32_t seconds = 0;
    if (count == 2 && SameAscii(words[0], L"/lock") && ParseSeconds(words[1], seconds)) {
        return {LockCommandKind::Lock, seconds};
    }
    return bad;
}

LockHandOver ToHandOver(const LockCommand& command) {
    return {command.kind == LockCommandKind::Lock ? 1u : 2u, command.seconds};
}

LockCommand FromHandOver(std::uintptr_t tag, const void* data, std::size_t size) {
    LockHandOver handOver{};
    if (tag != kLockHandOverTag || data == nullptr || size != sizeof handOver) {
        return {LockCommandKind::Bad, 0};
    }
    std::memcpy(&handOver, data, sizeof handOver);
    if (handOver.kind == 1 && handOver.seconds >= kLockMinSeconds &&
        handOver.seconds <= kLockMaxSeconds) {
        return {LockCommandKind::Lock, handOver.seconds};
    }
    if (handOver.kind == 2 && handOver.seconds == 0) {
        return {LockCommandKind::Unlock, 0};
    }
    return {LockCommandKind::Bad, 0};
}

std::wstring LockCountdownText(std::uint64_t millisecondsLeft) {
    const std::uint64_t seconds = (millisecondsLeft + 999) / 1000;
    const std::uint64_t rest = seconds % 60;
    return L"Locked for cleaning: " + std::to_wstring(seconds / 60) + (rest < 10 ? L":0" : L":") +
           std::to_wstring(rest) + L" left. Ctrl+Alt+Shift+Q ends it now.";
}

TimedLock::Start TimedLock::Begin(std::uint32_t seconds) {
    if (!Allowed()) {
        return Start::Forbidden;
    }
    seconds = std::clamp(seconds, kLockMinSeconds, kLockMaxSeconds);
    // The library switches the touchpad off with everything else; remembered as ours before.
    const bool remembered = !m_active && m_touchpad.RememberForLock();
    if (!m_hooks.Lock(seconds).done) {
        m_touchpad.LockOver(remembered);
        m_window.ShowError(kLockErrorText);
        return Start::Failed;
    }
    m_touchpadRemembered = m_touchpadRemembered || remembered;
    m_active = true;
    m_blocking.Hold(true);
    m_window.Announce(LockCountdownText(std::uint64_t{seconds} * 1000));
    return Start::Started;
}

void TimedLock::Ended() {
    if (!m_active) {
        return; // told twice: asked here, then by the library's late message
    }
    m_active = false;
    m_touchpad.LockOver(std::exchange(m_touchpadRemembered, false));
    m_window.Announce(kLockEndedText);
    // What the user changed meanwhile comes into force now, and says so.
    m_blocking.Hold(false);
}

void TimedLock::End() {
    if (!m_active) {
        return;
    }
    m_hooks.Unlock();
    Ended();
}

} // namespace quelvant::core
