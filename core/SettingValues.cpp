#include "SettingValues.h"

namespace quelvant::core {

void SettingValues::Set(int index, const StoredSettingValue& value) {
    switch (kSettings[index].kind) {
    case SettingKind::Bool:
        m_values[index].number = value.number;
        break;
    case SettingKind::Word:
        m_values[index].number = static_cast<std::uint16_t>(value.number);
        break;
    case SettingKind::String:
        m_values[index].text = value.text;
        break;
    }
}

void SettingValues::AsShown() {
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettings[i].kind == SettingKind::Bool) {
            m_values[i].number = m_values[i].number != 0 ? 1 : 0;
        }
    }
}

StoredSettingValue DefaultValue(const SettingDef& setting) {
    if (setting.kind == SettingKind::String) {
        return {}; // strings default to empty
    }
    return {setting.defaultValue, {}};
}

} // namespace quelvant::core
