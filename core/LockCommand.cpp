#include "LockCommand.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

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

} // namespace quelvant::core
