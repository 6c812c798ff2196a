// The main dialog's working copy of every setting, under the names the dialog has always had,
// and the one table that ties each member to its row of the settings table.
#pragma once

#include "SettingsTable.h"
#include "StoredSettingValue.h"

#include <array>
#include <cstdint>
#include <string>

namespace quelvant::core {

struct SettingMembers {
    using Values = std::array<StoredSettingValue, kSettingCount>;

    // The member of a row, read and written as a stored value.
    StoredSettingValue Get(int index) const;
    void Set(int index, const StoredSettingValue& value);
    Values All() const;
    // The member of a switch, for the box that shows it; none for a word or a text.
    std::int32_t* Switch(int index);

    std::wstring m_sKeyboardShortcutName2;
    std::uint16_t m_wKey2 = 0;
    std::uint16_t m_wMod2 = 0;
    std::int32_t m_bCheckDisableLeftClick = 0;
    std::int32_t m_bCheckDisableMiddleClick = 0;
    std::int32_t m_bCheckDisableMouseMovements = 0;
    std::int32_t m_bCheckDisableMouseWheel = 0;
    std::int32_t m_bCheckDisableRightClick = 0;
    std::int32_t m_bDisableKeyboardKeys = 0;
    std::int32_t m_bAutoMinimize = 0;
    std::int32_t m_bCloseWithKeyboardShortcut = 0;
    std::int32_t m_bAllowInjected = 0;
    std::int32_t m_bDisableEnableKeyboardShortcut = 0;
    std::int32_t m_bAudibleAlerts = 0;
    std::int32_t m_bDisableTouchpad = 0;
    // Shown in a box but kept in the Run list, not in the store.
    std::int32_t m_bAutoStartAtLogon = 0;
};

// A row's value when nothing is stored, and after a reset.
StoredSettingValue DefaultValue(const SettingDef& setting);

} // namespace quelvant::core
