#include "StoredSettingValue.h"

namespace quelvant::core {

StoredSettingValue DecodeStoredSetting(const SettingDef& setting, std::uint32_t type,
                                       const std::uint8_t* data, std::size_t size) {
    StoredSettingValue value;
    switch (setting.kind) {
    case SettingKind::Bool:
    case SettingKind::Word: {
        const std::uint32_t stored =
            DecodeStoredNumber(type, data, size)
                .value_or(static_cast<std::uint32_t>(setting.defaultValue));
        value.number =
            setting.kind == SettingKind::Bool ? DecodeStoredBool(stored) : DecodeStoredWord(stored);
        break;
    }
    case SettingKind::String:
        value.text = DecodeStoredText(type, data, size).value_or(std::wstring());
        break;
    }
    return value;
}

} // namespace quelvant::core
