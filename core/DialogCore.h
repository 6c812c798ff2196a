// The main dialog's decisions without a window. It owns the setting values and one part for
// each job: the stored settings under policy, blocking in force, the shortcuts and their
// interlocks, the touchpad's keeper and the Run list's entry. The dialog holds it, hands it
// each value the user changed, and shows what it offers (Values, BoxEnabled) and what it tells
// through the CoreWindow. Platform-free: everything outside comes in through the ports.
#pragma once

#include "AutoStartControl.h"
#include "BlockingControl.h"
#include "Ports.h"
#include "SettingValues.h"
#include "ShortcutInterlocks.h"
#include "StoredSettings.h"
#include "TimedLock.h"
#include "TouchpadKeeper.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quelvant::core {

// A machine with no administrator's policy.
PolicySource& NoPolicy();

class DialogCore {
public:
    DialogCore(const CorePorts& ports, CoreWindow& window) noexcept;
    DialogCore(CoreWindow& window, HookPort& hooks, SettingsStore& store,
               TouchpadReader& touchpad = NoTouchpad(), PolicySource& policy = NoPolicy(),
               RunList& runList = NoRunList()) noexcept
        : DialogCore(CorePorts{hooks, store, touchpad, policy, runList}, window) {}
    DialogCore(const DialogCore&) = delete;
    DialogCore& operator=(const DialogCore&) = delete;

    // What the window shows: every setting's value (a switch's box ticked when it is on), the
    // auto-start box, and whether a box can be changed now.
    const SettingValues& Values() const noexcept { return m_values; }
    bool AutoStartTicked() const noexcept { return m_autoStartTicked; }
    // A row's box can be changed: not under a policy lock; the mouse boxes and "Allow
    // Simulated" not while the Disable / Enable shortcut is chosen, the two shortcuts' boxes not
    // while keys are blocked (they could not be pressed), the touchpad's only where it can be
    // switched.
    bool BoxEnabled(int index) const;

    // The stored settings read (under the policy), and the Run list's entry.
    void LoadSettings() { m_settings.Load(); }
    void ReadAutoStart() { m_autoStartTicked = m_autoStart.Enabled(); }
    // The stored part of a reset (see StoredSettings::Reset); the auto-start box clears.
    bool ResetStoredSettings(bool hasWindow);

    // A click on a box of the settings table, ticking or clearing it: a blocking box's choice
    // is brought into force and stored (or put back), the touchpad's too, any other is stored.
    void SetBox(int index, bool ticked);
    // "Disable Keyboard Keys": whether the choice holds (see ShortcutInterlocks).
    bool SetKeyboardKeys(bool ticked) { return m_shortcuts.SwitchKeyboardBlocking(ticked); }
    // The Disable / Enable Shortcut box: true when a combination is to be captured.
    bool SetDisableEnableShortcut(bool ticked) {
        return m_shortcuts.DisableEnableShortcutClicked(ticked);
    }
    // The auto-start box: the Run list written or cleared; the error to tell, if any.
    std::optional<TextId> SetAutoStart(bool ticked);

    // The administrator's policy as it stands now, and from now on. Nothing is loaded or
    // applied here: the caller loads the settings again and brings them into force.
    SettingsPolicy ReadPolicy() { return m_policySource.Read(); }
    void WatchPolicy(PolicySource::ChangeCallback changed, void* context) {
        m_policySource.Watch(changed, context);
    }
    void StopWatchingPolicy() { m_policySource.StopWatching(); }
    void SetPolicy(const SettingsPolicy& policy) { m_settings.SetPolicy(policy); }
    const SettingsPolicy& Policy() const noexcept { return m_settings.Policy(); }

    // Blocking (see BlockingControl).
    void CommitBlockingSettings() { m_blocking.Commit(); }
    void ToggleMouseBlocking() { m_blocking.Toggle(); }
    void HooksRestored(bool mouse, bool keyboard) { m_blocking.HooksRestored(mouse, keyboard); }
    // touchpadFailure: why a touchpad held off did not follow, else 0.
    void FollowReleaseChord(bool released, std::uint32_t touchpadFailure = 0) {
        m_blocking.FollowReleaseChord(released, touchpadFailure);
    }
    std::int32_t BlockState() const noexcept { return m_blocking.State(); }

    // The lock for cleaning (see TimedLock) and the chord's act from the notification icon.
    TimedLock::Start BeginTimedLock(std::uint32_t seconds) { return m_lock.Begin(seconds); }
    void TimedLockEnded() { m_lock.Ended(); }
    void EndTimedLock() { m_lock.End(); }
    bool TimedLockActive() const noexcept { return m_lock.Active(); }
    bool TimedLockAllowed() const { return m_lock.Allowed(); }
    // "Release All Blocking" (ends a lock too) or "Block Again", as the chord would.
    void ActAsChord(bool release);
    bool ChordReleased() const noexcept { return m_blocking.ChordReleased(); }
    bool AnythingBlocked() { return m_blocking.AnythingBlocked(); }

    // The Disable / Enable shortcut's capture and registration (see ShortcutInterlocks).
    void TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                              const std::wstring& name) {
        m_shortcuts.TakeCapturedShortcut(ok, key, mod, name);
    }
    void ShortcutNotRegistered() { m_shortcuts.ShortcutNotRegistered(); }

    // The touchpad (see TouchpadKeeper).
    TouchpadAvailability RefreshTouchpad();
    void GiveTouchpadBack() { m_touchpad.GiveBack(); }
    // The touchpad's state changed: a late toggle of ours may have been taken.
    void TouchpadStateChanged();
    // The user's session is unlocked: keys sent while it was locked reached no one, so a
    // touchpad still owed comes back (or goes off) as the box asks. A timed lock's end does it
    // itself.
    void SessionUnlocked();

private:
    // A click on the touchpad's box brings the choice into force and stores it, or puts the
    // box back.
    void SwitchTouchpadBlocking();

    CoreWindow& m_window;
    PolicySource& m_policySource;
    SettingValues m_values;
    bool m_autoStartTicked = false;
    StoredSettings m_settings;
    TouchpadKeeper m_touchpad;
    BlockingControl m_blocking;
    ShortcutInterlocks m_shortcuts;
    TimedLock m_lock;
    AutoStartControl m_autoStart;
};

} // namespace quelvant::core
