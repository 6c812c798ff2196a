#include "DialogCore.h"

namespace quelvant::core {

PolicySource& NoPolicy() {
    class None final : public PolicySource {
    public:
        SettingsPolicy Read() override { return {}; }
    };
    static None none;
    return none;
}

DialogCore::DialogCore(const CorePorts& ports, CoreWindow& window) noexcept
    : m_window(window), m_policySource(ports.policy), m_settings(m_values, ports.store),
      m_touchpad(ports.hooks, ports.touchpad, ports.store),
      m_blocking(ports.hooks, m_values, m_settings, m_touchpad, window),
      m_shortcuts(m_values, m_settings, m_blocking, window),
      m_lock(ports.hooks, m_blocking, m_settings, m_touchpad, window), m_autoStart(ports.runList) {}

void DialogCore::ActAsChord(bool release) {
    if (release && m_lock.Active()) {
        m_lock.End();
    } else {
        m_blocking.ActAsChord(release);
    }
}

bool DialogCore::BoxEnabled(int index) const {
    if (Policy().Locks(index)) {
        return false;
    }
    switch (index) {
    case kCheckDisableLeftClick:
    case kCheckDisableMiddleClick:
    case kCheckDisableMouseMovements:
    case kCheckDisableMouseWheel:
    case kCheckDisableRightClick:
    case kAllowInjected:
        return !m_values.On(kDisableEnableKeyboardShortcut);
    case kCloseWithKeyboardShortcut:
    case kDisableEnableKeyboardShortcut:
        return !m_values.On(kDisableKeyboardKeys);
    case kDisableTouchpad:
        return m_touchpad.Availability() == TouchpadAvailability::Available;
    default:
        return true;
    }
}

bool DialogCore::ResetStoredSettings(bool hasWindow) {
    m_autoStartTicked = false;
    return m_settings.Reset(hasWindow);
}

void DialogCore::SetBox(int index, bool ticked) {
    if (index == kDisableKeyboardKeys) {
        SetKeyboardKeys(ticked);
        return;
    }
    if (index == kDisableEnableKeyboardShortcut) {
        SetDisableEnableShortcut(ticked);
        return;
    }
    m_values.SetNumber(index, ticked ? 1 : 0);
    m_values.AsShown();
    if (index == kDisableTouchpad) {
        SwitchTouchpadBlocking();
    } else if (index == kCloseWithKeyboardShortcut || index == kAudibleAlerts) {
        // A choice that needs nothing brought into force.
        m_settings.HoldLockedValues();
        m_settings.Save();
    } else {
        m_blocking.Commit();
    }
}

std::optional<TextId> DialogCore::SetAutoStart(bool ticked) {
    const AutoStartControl::Outcome outcome = m_autoStart.Change(ticked);
    m_autoStartTicked = outcome.ticked;
    return outcome.error;
}

TouchpadAvailability DialogCore::RefreshTouchpad() {
    TellTouchpadNews(m_window, m_touchpad.Refresh(m_values.On(kDisableTouchpad)));
    return m_touchpad.Availability();
}

void DialogCore::SwitchTouchpadBlocking() {
    if (m_lock.Active()) {
        // The lock holds the touchpad with everything else: the click waits for its end.
        m_blocking.Commit();
        return;
    }
    m_settings.HoldLockedValues();
    m_touchpad.Release(false);
    m_touchpad.ForgetFailure();
    const TouchpadNews news = m_touchpad.Apply(m_values.On(kDisableTouchpad));
    if (news.held) {
        m_settings.Save();
    } else {
        // The box shows what holds again, and the store keeps the last choice that held: before
        // the error box, whose loop may bring news of a toggle taken late.
        m_values.SetNumber(kDisableTouchpad, m_settings.Stored(kDisableTouchpad).number);
    }
    m_window.ShowView();
    TellTouchpadNews(m_window, news);
}

void DialogCore::TouchpadStateChanged() {
    TellTouchpadNews(m_window, m_touchpad.LookAgain(m_values.On(kDisableTouchpad)));
}

void DialogCore::SessionUnlocked() {
    if (m_lock.Active()) {
        return;
    }
    m_blocking.ApplyTouchpad();
}

} // namespace quelvant::core
