// The rules of the two global shortcuts that need no window. Platform-free.
#pragma once

#include "Ports.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quelvant::core {

// Hot-key control modifier bits to RegisterHotKey modifier bits: Shift 0x01 -> 0x04,
// Control 0x02 -> 0x02, Alt 0x04 -> 0x01. The extended-key bit 0x08 only says which key it is
// (an arrow, Insert, Home...) and is dropped: as the Windows key it would register another
// combination than the one the caption names. Every other bit is dropped too; no-repeat is
// never added.
constexpr unsigned HotKeyFlagsToModifiers(std::uint16_t wMod) noexcept {
    return ((wMod & 0x01) != 0 ? 0x0004u : 0u) | ((wMod & 0x02) != 0 ? 0x0002u : 0u) |
           ((wMod & 0x04) != 0 ? 0x0001u : 0u);
}

// The window's two hot keys: the close key and the Disable / Enable shortcut.
inline constexpr int kCloseHotKey = 1;
inline constexpr int kDisableEnableHotKey = 2;

struct CloseKey {
    unsigned virtualKey;
    const wchar_t* name;
};

// The close shortcut takes the first of these that can be registered.
inline constexpr CloseKey kCloseKeys[] = {
    {0x75, L"F6"},  {0x76, L"F7"},  {0x77, L"F8"},  {0x78, L"F9"},
    {0x79, L"F10"}, {0x7A, L"F11"}, {0x7B, L"F12"},
};

// The caption follows the stored name, not the key; without one it is the box's plain caption.
std::wstring DisableEnableShortcutCaption(TextSource& texts, std::wstring_view name);

// "%1 to Close", for the key that was registered.
std::wstring CloseShortcutCaption(TextSource& texts, std::wstring_view keyName);

// Shown and spoken when none of the close keys could be registered.
std::wstring NoFreeCloseKeyText(TextSource& texts, std::wstring_view title);

// What is spoken when the close shortcut is set: the caption, a blank, the application title.
std::wstring CloseShortcutAnnouncement(TextSource& texts, std::wstring_view caption,
                                       std::wstring_view title);

} // namespace quelvant::core
