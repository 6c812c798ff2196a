// The control that shows each stored setting, by its row of the settings table; the shortcut's
// key, modifiers and name stand behind the Disable / Enable Shortcut box. A row without its
// control fails the build.
#pragma once

#include "SettingsTable.h"
#include "resource.h"

#include <algorithm>
#include <array>

namespace quelvant::ui {

inline constexpr std::array<int, core::kSettingCount> kSettingControls = [] {
    using namespace core;
    std::array<int, kSettingCount> ids{};
    ids[kCheckDisableLeftClick] = IDC_CHECK_DISABLE_LEFT_CLICK;
    ids[kCheckDisableMiddleClick] = IDC_CHECK_DISABLE_MIDDLE_CLICK;
    ids[kCheckDisableMouseMovements] = IDC_CHECK_DISABLE_MOUSE_MOVEMENTS;
    ids[kCheckDisableMouseWheel] = IDC_CHECK_DISABLE_MOUSE_WHEEL;
    ids[kCheckDisableRightClick] = IDC_CHECK_DISABLE_RIGHT_CLICK;
    ids[kDisableKeyboardKeys] = IDC_CHECK_DISABLE_KEYBOARD_KEYS;
    ids[kAutoMinimize] = IDC_CHECK_AUTO_MINIMIZE;
    ids[kCloseWithKeyboardShortcut] = IDC_CHECK_CLOSE_SHORTCUT;
    ids[kAllowInjected] = IDC_CHECK_ALLOW_INJECTED;
    ids[kDisableEnableKeyboardShortcut] = IDC_CHECK_DISABLE_ENABLE_SHORTCUT;
    ids[kKey2] = IDC_CHECK_DISABLE_ENABLE_SHORTCUT;
    ids[kMod2] = IDC_CHECK_DISABLE_ENABLE_SHORTCUT;
    ids[kKeyboardShortcutName2] = IDC_CHECK_DISABLE_ENABLE_SHORTCUT;
    ids[kAudibleAlerts] = IDC_CHECK_AUDIBLE_ALERTS;
    ids[kDisableTouchpad] = IDC_CHECK_DISABLE_TOUCHPAD;
    return ids;
}();
static_assert(std::ranges::none_of(kSettingControls, [](int id) { return id == 0; }),
              "every stored setting needs the control that shows it");

} // namespace quelvant::ui
