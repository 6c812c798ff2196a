// Reading one raw stored value back into a setting, by the rules of the profile functions:
// a number is a REG_DWORD of exactly four bytes and a text a REG_SZ; anything else reads as
// the setting's default. Platform-free, so the rules are fuzzed and tested natively.
#pragma once

#include "SettingsTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

inline constexpr std::uint32_t kStoredTypeText = 1;   // REG_SZ
inline constexpr std::uint32_t kStoredTypeNumber = 4; // REG_DWORD, little-endian

// The number in a stored value, or nothing unless it is a REG_DWORD of exactly four bytes.
std::optional<std::uint32_t> DecodeStoredNumber(std::uint32_t type, const std::uint8_t* data,
                                                std::size_t size);

// The text in a stored value, or nothing unless it is a REG_SZ. The data need not end in a
// NUL nor have an even size: whole UTF-16 units are taken up to the first NUL.
std::optional<std::wstring> DecodeStoredText(std::uint32_t type, const std::uint8_t* data,
                                             std::size_t size);

// What one setting reads as. A Bool or Word setting uses `number`, a String setting `text`.
struct StoredSettingValue {
    std::int32_t number = 0;
    std::wstring text;

    bool operator==(const StoredSettingValue&) const = default;
};

StoredSettingValue DecodeStoredSetting(const SettingDef& setting, std::uint32_t type,
                                       const std::uint8_t* data, std::size_t size);
