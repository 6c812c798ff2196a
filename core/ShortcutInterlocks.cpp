#include "ShortcutInterlocks.h"

namespace quelvant::core {

bool ShortcutInterlocks::SwitchKeyboardBlocking() {
    // The keyboard choice is brought into force first, and the shortcuts give way only once
    // it is: should the hook fail, the box falls back to what applies, as any other box does,
    // and both shortcuts stay as they were, stored and registered.
    m_window.ControlsToMembers();
    m_settings.HoldLockedValues();
    const std::int32_t wanted = m_members.m_bDisableKeyboardKeys;
    m_blocking.Commit();
    if (m_members.m_bDisableKeyboardKeys != wanted) {
        return false;
    }
    if (m_members.m_bDisableKeyboardKeys != 0) {
        m_members.m_bCloseWithKeyboardShortcut = 0;
        Forget();
        m_window.MembersToControls();
    }
    return true;
}

bool ShortcutInterlocks::DisableEnableShortcutClicked() {
    m_window.ControlsToMembers();
    if (m_members.m_bDisableEnableKeyboardShortcut != 0) {
        return true;
    }
    Forget();
    m_settings.Save();
    return false;
}

void ShortcutInterlocks::TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                                              const std::wstring& name) {
    if (ok) {
        m_members.m_wKey2 = key;
        m_members.m_wMod2 = mod;
        m_members.m_sKeyboardShortcutName2 = name;
        if (key != 0) {
            m_settings.HoldLockedValues();
            // Saved before registering: a combination that then cannot be had is cleared in
            // memory only.
            m_settings.Save();
            return;
        }
        // An empty capture is no shortcut; the modifiers stay as the dialog gave them.
        m_window.ControlsToMembers();
        m_members.m_bDisableEnableKeyboardShortcut = 0;
        m_members.m_sKeyboardShortcutName2.clear();
    } else {
        // Cancel, Esc, the close box, or a dialog that could not open: no shortcut at all.
        m_window.ControlsToMembers();
        Forget();
    }
    m_settings.HoldLockedValues();
    m_window.MembersToControls();
    m_settings.Save();
}

void ShortcutInterlocks::ShortcutNotRegistered() {
    Forget();
    m_window.MembersToControls();
}

void ShortcutInterlocks::Forget() {
    m_members.m_bDisableEnableKeyboardShortcut = 0;
    m_members.m_wKey2 = 0;
    m_members.m_wMod2 = 0;
    m_members.m_sKeyboardShortcutName2.clear();
    m_settings.HoldLockedValues();
}

} // namespace quelvant::core
