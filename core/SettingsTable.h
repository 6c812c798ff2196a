// The fifteen stored settings: their value names, kinds, defaults and reset rule, in the order
// in which they are read and written. Platform-free, so the table and its decoding are tested
// natively.
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

// Shown instead of the success of a reset when the store did not take every value.
inline constexpr const wchar_t* kResetFailedText = L"Could not Reset Settings.";

enum SettingIndex {
    kCheckDisableLeftClick,
    kCheckDisableMiddleClick,
    kCheckDisableMouseMovements,
    kCheckDisableMouseWheel,
    kCheckDisableRightClick,
    kDisableKeyboardKeys,
    kAutoMinimize,
    kCloseWithKeyboardShortcut,
    kAllowInjected,
    kDisableEnableKeyboardShortcut,
    kKey2,
    kMod2,
    kKeyboardShortcutName2,
    kAudibleAlerts,
    kDisableTouchpad,
    kSettingCount
};

inline constexpr SettingDef kSettings[kSettingCount] = {
    {L"m_bCheckDisableLeftClick", SettingKind::Bool, 0},
    {L"m_bCheckDisableMiddleClick", SettingKind::Bool, 0},
    {L"m_bCheckDisableMouseMovements", SettingKind::Bool, 0},
    {L"m_bCheckDisableMouseWheel", SettingKind::Bool, 0},
    {L"m_bCheckDisableRightClick", SettingKind::Bool, 0},
    {L"m_bDisableKeyboardKeys", SettingKind::Bool, 0},
    {L"m_bAutoMinimize", SettingKind::Bool, 0},
    {L"m_bCloseWithKeyboardShortcut", SettingKind::Bool, 0},
    {L"m_bAllowInjected", SettingKind::Bool, 1},
    {L"m_bDisableEnableKeyboardShortcut", SettingKind::Bool, 0},
    {L"m_wKey2", SettingKind::Word, 0, false, 0xFE}, // virtual-key codes end at 0xFE
    {L"m_wMod2", SettingKind::Word, 0, false, 0x0F}, // the hot-key control's four flags
    {L"m_sKeyboardShortcutName2", SettingKind::String, 0},
    {L"m_bAudibleAlerts", SettingKind::Bool, 1, true},
    {L"m_bDisableTouchpad", SettingKind::Bool, 0},
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
