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

DialogCore::DialogCore(const CorePorts& ports) noexcept
    : m_policySource(ports.policy), m_settings(*this, ports.store),
      m_touchpad(ports.hooks, ports.touchpad, ports.store),
      m_blocking(ports.hooks, *this, m_settings, m_touchpad, *this),
      m_shortcuts(*this, m_settings, m_blocking, *this),
      m_lock(ports.hooks, m_blocking, m_settings, m_touchpad, *this) {}

void DialogCore::ActAsChord(bool release) {
    if (release && m_lock.Active()) {
        m_lock.End();
    } else {
        m_blocking.ActAsChord(release);
    }
}

bool DialogCore::LoadSaveSettings(bool bLoad) {
    if (bLoad) {
        m_settings.Load();
        return true;
    }
    return m_settings.Save();
}

void DialogCore::StoreBoxes() {
    ControlsToMembers();
    m_settings.Save();
}

bool DialogCore::ResetStoredSettings(bool hasWindow) {
    return m_settings.Reset(hasWindow);
}

TouchpadAvailability DialogCore::RefreshTouchpad() {
    TellTouchpadNews(*this, m_touchpad.Refresh(m_bDisableTouchpad != 0));
    return m_touchpad.Availability();
}

void DialogCore::SwitchTouchpadBlocking() {
    if (m_lock.Active()) {
        // The lock holds the touchpad with everything else: the click waits for its end.
        m_blocking.Commit();
        return;
    }
    ControlsToMembers();
    m_settings.HoldLockedValues();
    m_touchpad.Release(false);
    m_touchpad.ForgetFailure();
    const TouchpadNews news = m_touchpad.Apply(m_bDisableTouchpad != 0);
    if (news.held) {
        m_settings.Save();
    } else {
        // The box shows what holds again, and the store keeps the last choice that held: before
        // the error box, whose loop may bring news of a toggle taken late.
        m_bDisableTouchpad = m_settings.Stored(kDisableTouchpad).number;
    }
    MembersToControls();
    TellTouchpadNews(*this, news);
}

void DialogCore::TouchpadStateChanged() {
    TellTouchpadNews(*this, m_touchpad.LookAgain(m_bDisableTouchpad != 0));
}

void DialogCore::SessionUnlocked() {
    if (m_lock.Active()) {
        return;
    }
    m_blocking.ApplyTouchpad();
}

} // namespace quelvant::core
