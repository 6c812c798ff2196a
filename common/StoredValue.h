// Reading a raw stored value the way the profile functions read it: a number is a REG_DWORD of
// exactly four bytes, a text a REG_SZ; anything else is no value of that kind. Platform-free,
// so the framework's profile functions and the program's settings store share one rule, and
// the rule is fuzzed and tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

inline constexpr std::uint32_t kStoredTypeText = 1;   // REG_SZ
inline constexpr std::uint32_t kStoredTypeNumber = 4; // REG_DWORD, little-endian

// The number in a stored value, or nothing unless it is a REG_DWORD of exactly four bytes.
inline std::optional<std::uint32_t> DecodeStoredNumber(std::uint32_t type, const std::uint8_t* data,
                                                       std::size_t size) {
    if (type != kStoredTypeNumber || size != 4 || data == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
           (static_cast<std::uint32_t>(data[2]) << 16) |
           (static_cast<std::uint32_t>(data[3]) << 24);
}

// The text in a stored value, or nothing unless it is a REG_SZ. The data need not end in a
// NUL nor have an even size: whole UTF-16 units are taken up to the first NUL.
inline std::optional<std::wstring> DecodeStoredText(std::uint32_t type, const std::uint8_t* data,
                                                    std::size_t size) {
    if (type != kStoredTypeText) {
        return std::nullopt;
    }
    std::wstring text;
    if (data == nullptr) {
        return text;
    }
    // An odd last byte is half a character: dropped.
    const std::size_t units = size / 2;
    text.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit == L'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text;
}
