// The main dialog's decisions without a window. It owns one part for each job: the stored
// settings under policy, blocking in force, the shortcuts and their interlocks, and the
// touchpad's keeper; the dialog that derives from it moves its controls in and out and shows
// and speaks what it is told. Platform-free: everything outside comes in through the ports.
#pragma once

#include "BlockingControl.h"
#include "Ports.h"
#include "SettingMembers.h"
#include "ShortcutInterlocks.h"
#include "StoredSettings.h"
#include "TimedLock.h"
#include "TouchpadKeeper.h"

#include <cstdint>
#include <string>

namespace quelvant::core {

// A machine with no administrator's policy.
PolicySource& NoPolicy();

class DialogCore : public SettingMembers, protected CoreWindow {
public:
    explicit DialogCore(const CorePorts& ports) noexcept;
    DialogCore(HookPort& hooks, SettingsStore& store, TouchpadReader& touchpad = NoTouchpad(),
               PolicySource& policy = NoPolicy()) noexcept
        : DialogCore(CorePorts{hooks, store, touchpad, policy}) {}
    DialogCore(const DialogCore&) = delete;
    DialogCore& operator=(const DialogCore&) = delete;

    // Settings store: every setting, in one direction or the other (see StoredSettings).
    bool LoadSaveSettings(bool bLoad);
    // The boxes read and stored, for a choice that needs nothing brought into force.
    void StoreBoxes();
    // The stored part of a reset (see StoredSettings::Reset).
    bool ResetStoredSettings(bool hasWindow);

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

    // Shortcuts and their interlocks (see ShortcutInterlocks).
    bool SwitchKeyboardBlocking() { return m_shortcuts.SwitchKeyboardBlocking(); }
    bool DisableEnableShortcutClicked() { return m_shortcuts.DisableEnableShortcutClicked(); }
    void TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                              const std::wstring& name) {
        m_shortcuts.TakeCapturedShortcut(ok, key, mod, name);
    }
    void ShortcutNotRegistered() { m_shortcuts.ShortcutNotRegistered(); }

    // The touchpad (see TouchpadKeeper). A click on its box brings the choice into force and
    // stores it, or puts the box back.
    TouchpadAvailability RefreshTouchpad();
    void SwitchTouchpadBlocking();
    void GiveTouchpadBack() { m_touchpad.GiveBack(); }
    // The touchpad's state changed: a late toggle of ours may have been taken.
    void TouchpadStateChanged();
    // The user's session is unlocked: keys sent while it was locked reached no one, so a
    // touchpad still owed comes back (or goes off) as the box asks. A timed lock's end does it
    // itself.
    void SessionUnlocked();

protected:
    ~DialogCore() = default;

private:
    PolicySource& m_policySource;
    StoredSettings m_settings;
    TouchpadKeeper m_touchpad;
    BlockingControl m_blocking;
    ShortcutInterlocks m_shortcuts;
    TimedLock m_lock;
};

} // namespace quelvant::core
