// Switching the precision touchpad off and on: what is remembered, the system's error codes
// and what the user is told. Platform-free; the switch itself is a port (Ports.h).
#pragma once

#include "Ports.h"
#include "SettingsTable.h"
#include "TouchpadSwitchRules.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quelvant::core {

// Remembers, in the settings store, that the touchpad is off because the program switched it
// off, so that it is switched on again even after the program was ended without doing so. It
// is not a user's choice and not a row of the settings table.
inline constexpr SettingDef kTouchpadSwitchedOff{L"m_bTouchpadSwitchedOff", SettingKind::Bool, 0};

// ERROR_NOT_SUPPORTED: the error told for a toggle that was sent but did not change the state.
inline constexpr std::uint32_t kTouchpadSwitchIgnored = 50;
// Why the hook library did not send the toggle: the user's Ctrl, Alt, Shift or Windows key
// stayed down (ERROR_TIMEOUT), or a window of a higher integrity level is in front, which
// SendInput tells by a short count alone (ERROR_ELEVATION_REQUIRED, chosen by the library).
inline constexpr std::uint32_t kTouchpadModifiersHeld = kModifiersHeldError;
inline constexpr std::uint32_t kTouchpadBlockedByPrivilege = kBlockedByPrivilegeError;
// ERROR_INVALID_SPI_VALUE, which SPI_GETTOUCHPADPARAMETERS gives where the system has no such
// parameter (Windows before 11 24H2, Wine); the state is then read from the registry.
inline constexpr std::uint32_t kTouchpadCallUnsupported = 1439;

enum class TouchpadAvailability {
    Unsupported, // neither the system's parameters nor its Status value can be read
    Absent,      // the system has the switch but no precision touchpad
    Available,
};

// The box's description, which screen readers read: what it does, or why it cannot be used.
constexpr TextId TouchpadTip(TouchpadAvailability availability) noexcept {
    return availability == TouchpadAvailability::Available ? TextId::TouchpadTip
           : availability == TouchpadAvailability::Absent  ? TextId::TouchpadAbsentTip
                                                           : TextId::TouchpadUnsupportedTip;
}

// "Could not Disable Touchpad.\n\nLast Error %x\n\n%s", or Enable.
std::wstring FormatTouchpadErrorMessage(TextSource& texts, bool on, std::uint32_t lastError,
                                        std::wstring_view systemText);
// The same for the status line and the voice: "Could not Disable Touchpad: %s".
std::wstring FormatTouchpadErrorLine(TextSource& texts, bool on, std::wstring_view systemText);

} // namespace quelvant::core
