// The two shortcuts' stored side and their interlock with keyboard blocking: keys blocked take
// both shortcuts away (they could no longer be pressed), the Disable / Enable shortcut is
// chosen through the capture dialog, given up, or lost when the system will not register it.
#pragma once

#include "BlockingControl.h"
#include "Ports.h"
#include "SettingValues.h"
#include "StoredSettings.h"

#include <cstdint>
#include <string>

namespace quelvant::core {

class ShortcutInterlocks {
public:
    ShortcutInterlocks(SettingValues& values, StoredSettings& settings, BlockingControl& blocking,
                       CoreWindow& window) noexcept
        : m_values(values), m_settings(settings), m_blocking(blocking), m_window(window) {}
    ShortcutInterlocks(const ShortcutInterlocks&) = delete;
    ShortcutInterlocks& operator=(const ShortcutInterlocks&) = delete;

    // A click on "Disable Keyboard Keys", ticking or clearing it. Returns whether the choice
    // holds; once keys are blocked the two shortcuts are gone (the window unregisters them).
    bool SwitchKeyboardBlocking(bool ticked);

    // A click on the Disable / Enable Shortcut box: true when it was ticked and a combination
    // is to be captured; a cleared box gives the shortcut up, stored.
    bool DisableEnableShortcutClicked(bool ticked);

    // What the capture dialog gave, stored: an OK with a key sets the shortcut, an OK without
    // one or any other end leaves none (after an empty OK the modifiers stay as given).
    void TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                              const std::wstring& name);

    // The system would not register the stored combination: it is dropped from the values and
    // the box, and stays stored for a later start.
    void ShortcutNotRegistered();

private:
    // The Disable / Enable shortcut given up: no key, no name, box clear.
    void Forget();

    SettingValues& m_values;
    StoredSettings& m_settings;
    BlockingControl& m_blocking;
    CoreWindow& m_window;
};

} // namespace quelvant::core
