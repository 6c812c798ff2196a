// Reading one raw stored value back into a setting, by the rules of the profile functions:
// a number is a REG_DWORD of exactly four bytes and a text a REG_SZ; anything else reads as
// the setting's default. Platform-free: the program's settings store loads through it, and it
// is fuzzed and tested natively.
#pragma once

#include "SettingsTable.h"
#include "StoredValue.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quelvant::core {

// What one setting reads as. A Bool or Word setting uses `number`, a String setting `text`.
struct StoredSettingValue {
    std::int32_t number = 0;
    std::wstring text;

    bool operator==(const StoredSettingValue&) const = default;
};

// A missing value is read with type 0 (no type) and no data: the setting's default.
StoredSettingValue DecodeStoredSetting(const SettingDef& setting, std::uint32_t type,
                                       const std::uint8_t* data, std::size_t size);

} // namespace quelvant::core
