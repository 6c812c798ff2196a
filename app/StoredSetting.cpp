#include "StoredSetting.h"

std::optional<std::uint32_t> DecodeStoredNumber(std::uint32_t type, const std::uint8_t* data,
                                                std::size_t size) {
    if (type != kStoredTypeNumber || size != 4 || data == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
           (static_cast<std::uint32_t>(data[2]) << 16) |
           (static_cast<std::uint32_t>(data[3]) << 24);
}

std::optional<std::wstring> DecodeStoredText(std::uint32_t type, const std::uint8_t* data,
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
