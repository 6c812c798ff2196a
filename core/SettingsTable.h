// The stored settings: their value names, kinds, defaults and reset rule, in the order in which
// they are read and written, and the control that shows each. Platform-free, so the table and
// its decoding are tested natively.
#pragma once

#include <cstdint>

namespace quelvant::core {

enum class SettingKind { Bool, Word, String };

struct SettingDef {
    const wchar_t* name;
    SettingKind kind;
    int defaultValue;         // when the value is missing or unreadable; strings default to empty
    bool keptByReset = false; // a reset leaves it as the user set it; all others go to the default
    std::uint16_t highest = 0xFFFF; // the largest value an administrator's policy may give a Word
};

inline constexpr const wchar_t* kSettingsSection = L"Settings";

// Every stored setting, one row each; all else that names a setting comes from here or is checked
// against it (tests/settings_table.py, run by ctest, names each place a new row lacks). A row: its
// index, the control that shows it (a name of res/resource.h that only the window layer reads;
// the shortcut's key, modifiers and name stand behind its box), then its SettingDef. Virtual-key
// codes end at 0xFE; the modifier word holds the hot-key control's four flags.
#define QUELVANT_SETTINGS(ROW)                                                                     \
    ROW(kCheckDisableLeftClick, IDC_CHECK_DISABLE_LEFT_CLICK, L"m_bCheckDisableLeftClick", Bool,   \
        0)                                                                                         \
    ROW(kCheckDisableMiddleClick, IDC_CHECK_DISABLE_MIDDLE_CLICK, L"m_bCheckDisableMiddleClick",   \
        Bool, 0)                                                                                   \
    ROW(kCheckDisableMouseMovements, IDC_CHECK_DISABLE_MOUSE_MOVEMENTS,                            \
        L"m_bCheckDisableMouseMovements", Bool, 0)                                                 \
    ROW(kCheckDisableMouseWheel, IDC_CHECK_DISABLE_MOUSE_WHEEL, L"m_bCheckDisableMouseWheel",      \
        Bool, 0)                                                                                   \
    ROW(kCheckDisableRightClick, IDC_CHECK_DISABLE_RIGHT_CLICK, L"m_bCheckDisableRightClick",      \
        Bool, 0)                                                                                   \
    ROW(kDisableKeyboardKeys, IDC_CHECK_DISABLE_KEYBOARD_KEYS, L"m_bDisableKeyboardKeys", Bool, 0) \
    ROW(kAutoMinimize, IDC_CHECK_AUTO_MINIMIZE, L"m_bAutoMinimize", Bool, 0)                       \
    ROW(kCloseWithKeyboardShortcut, IDC_CHECK_CLOSE_SHORTCUT, L"m_bCloseWithKeyboardShortcut",     \
        Bool, 0)                                                                                   \
    ROW(kAllowInjected, IDC_CHECK_ALLOW_INJECTED, L"m_bAllowInjected", Bool, 1)                    \
    ROW(kDisableEnableKeyboardShortcut, IDC_CHECK_DISABLE_ENABLE_SHORTCUT,                         \
        L"m_bDisableEnableKeyboardShortcut", Bool, 0)                                              \
    ROW(kKey2, IDC_CHECK_DISABLE_ENABLE_SHORTCUT, L"m_wKey2", Word, 0, false, 0xFE)                \
    ROW(kMod2, IDC_CHECK_DISABLE_ENABLE_SHORTCUT, L"m_wMod2", Word, 0, false, 0x0F)                \
    ROW(kKeyboardShortcutName2, IDC_CHECK_DISABLE_ENABLE_SHORTCUT, L"m_sKeyboardShortcutName2",    \
        String, 0)                                                                                 \
    ROW(kAudibleAlerts, IDC_CHECK_AUDIBLE_ALERTS, L"m_bAudibleAlerts", Bool, 1, true)              \
    ROW(kDisableTouchpad, IDC_CHECK_DISABLE_TOUCHPAD, L"m_bDisableTouchpad", Bool, 0)

enum SettingIndex {
#define QUELVANT_SETTING_INDEX(index, ...) index,
    QUELVANT_SETTINGS(QUELVANT_SETTING_INDEX)
#undef QUELVANT_SETTING_INDEX
        kSettingCount
};

inline constexpr SettingDef kSettings[kSettingCount] = {
#define QUELVANT_SETTING_DEF(index, control, name, kind, ...)                                      \
    {name, SettingKind::kind, __VA_ARGS__},
    QUELVANT_SETTINGS(QUELVANT_SETTING_DEF)
#undef QUELVANT_SETTING_DEF
};

// A stored BOOL is taken over unchanged, whatever its value.
constexpr std::int32_t DecodeStoredBool(std::uint32_t stored) noexcept {
    return static_cast<std::int32_t>(stored);
}

// The shortcut's key and modifier words keep only the low 16 bits of what is stored.
constexpr std::uint16_t DecodeStoredWord(std::uint32_t stored) noexcept {
    return static_cast<std::uint16_t>(stored & 0xFFFFu);
}

} // namespace quelvant::core
