#include "ShortcutInterlocks.h"

namespace quelvant::core {

bool ShortcutInterlocks::SwitchKeyboardBlocking(bool ticked) {
    // The keyboard choice is brought into force first, and the shortcuts give way only once
    // it is: should the hook fail, the box falls back to what applies, as any other box does,
    // and both shortcuts stay as they were, stored and registered.
    m_values.SetNumber(kDisableKeyboardKeys, ticked ? 1 : 0);
    m_values.AsShown();
    m_settings.HoldLockedValues();
    const std::int32_t wanted = m_values.Number(kDisableKeyboardKeys);
    m_blocking.Commit();
    if (m_values.Number(kDisableKeyboardKeys) != wanted) {
        return false;
    }
    if (m_values.On(kDisableKeyboardKeys)) {
        m_values.SetNumber(kCloseWithKeyboardShortcut, 0);
        Forget();
        m_window.ShowView();
    }
    return true;
}

bool ShortcutInterlocks::DisableEnableShortcutClicked(bool ticked) {
    m_values.SetNumber(kDisableEnableKeyboardShortcut, ticked ? 1 : 0);
    m_values.AsShown();
    if (ticked) {
        return true;
    }
    Forget();
    m_settings.Save();
    return false;
}

void ShortcutInterlocks::TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                                              const std::wstring& name) {
    if (ok) {
        m_values.SetNumber(kKey2, key);
        m_values.SetNumber(kMod2, mod);
        m_values.SetText(kKeyboardShortcutName2, name);
        if (key != 0) {
            m_settings.HoldLockedValues();
            // Saved before registering: a combination that then cannot be had is cleared in
            // memory only.
            m_settings.Save();
            return;
        }
        // An empty capture is no shortcut; the modifiers stay as the dialog gave them.
        m_values.SetNumber(kDisableEnableKeyboardShortcut, 0);
        m_values.SetText(kKeyboardShortcutName2, {});
    } else {
        // Cancel, Esc, the close box, or a dialog that could not open: no shortcut at all.
        Forget();
    }
    m_settings.HoldLockedValues();
    m_window.ShowView();
    m_settings.Save();
}

void ShortcutInterlocks::ShortcutNotRegistered() {
    Forget();
    m_window.ShowView();
}

void ShortcutInterlocks::Forget() {
    m_values.SetNumber(kDisableEnableKeyboardShortcut, 0);
    m_values.SetNumber(kKey2, 0);
    m_values.SetNumber(kMod2, 0);
    m_values.SetText(kKeyboardShortcutName2, {});
    m_settings.HoldLockedValues();
}

} // namespace quelvant::core
