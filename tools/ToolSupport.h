// What the test tools share: an owner for file handles, one clock for the times they report,
// and strict number parsing of their command words and arguments. Every other owner comes
// from common/Handle.h.
#pragma once

#include "Handle.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>

namespace tools {

// CreateFileW reports failure as INVALID_HANDLE_VALUE, not null: this owner takes either as none.
inline void CloseFile(HANDLE file) noexcept {
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}
using UniqueFile = UniqueHandle<HANDLE, CloseFile>;

inline UniqueFile OwnFile(HANDLE file) noexcept {
    return UniqueFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// Microseconds of the performance counter, which every process of the machine shares: times
// that two tools report can be compared.
inline long long NowMicroseconds() noexcept {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency.QuadPart * 1000000 +
           now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

// The whole text as an unsigned number in base (0: C prefixes, 0x for hex); nothing when it
// is empty, carries anything after the digits, starts with a minus or does not fit.
template <typename Char>
std::optional<unsigned long> ParseUnsigned(const std::basic_string<Char>& text, int base = 0) {
    if (text.empty() || text[0] == Char('-')) {
        return std::nullopt;
    }
    Char* end = nullptr;
    errno = 0;
    unsigned long value = 0;
    if constexpr (sizeof(Char) == 1) {
        value = std::strtoul(text.c_str(), &end, base);
    } else {
        value = std::wcstoul(text.c_str(), &end, base);
    }
    if (end == text.c_str() || *end != Char('\0') || errno == ERANGE) {
        return std::nullopt;
    }
    return value;
}

// The whole text as a signed number, with the same rules otherwise.
template <typename Char>
std::optional<long> ParseSigned(const std::basic_string<Char>& text, int base = 0) {
    if (text.empty()) {
        return std::nullopt;
    }
    Char* end = nullptr;
    errno = 0;
    long value = 0;
    if constexpr (sizeof(Char) == 1) {
        value = std::strtol(text.c_str(), &end, base);
    } else {
        value = std::wcstol(text.c_str(), &end, base);
    }
    if (end == text.c_str() || *end != Char('\0') || errno == ERANGE) {
        return std::nullopt;
    }
    return value;
}

inline std::optional<unsigned long> ParseUnsigned(const char* text, int base = 0) {
    return ParseUnsigned(std::string(text), base);
}
inline std::optional<unsigned long> ParseUnsigned(const wchar_t* text, int base = 0) {
    return ParseUnsigned(std::wstring(text), base);
}
inline std::optional<long> ParseSigned(const char* text, int base = 0) {
    return ParseSigned(std::string(text), base);
}
inline std::optional<long> ParseSigned(const wchar_t* text, int base = 0) {
    return ParseSigned(std::wstring(text), base);
}

} // namespace tools
