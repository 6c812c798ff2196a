// The control that shows each stored setting, by its row of the settings table, which names it;
// a row whose control res/resource.h lacks fails the build here.
#pragma once

#include "SettingsTable.h"
#include "resource.h"

#include <array>

namespace quelvant::ui {

inline constexpr std::array<int, core::kSettingCount> kSettingControls = {
#define QUELVANT_SETTING_CONTROL(index, control, ...) control,
    QUELVANT_SETTINGS(QUELVANT_SETTING_CONTROL)
#undef QUELVANT_SETTING_CONTROL
};

} // namespace quelvant::ui
