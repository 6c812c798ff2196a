// The main dialog's decisions without a window: what the boxes ask of the hook library, what
// is stored and read back, the block state and the Disable / Enable toggle, the interlocks of
// keyboard blocking and the shortcuts, the reset, and what the user is told after each.
// Platform-free: the hook library and the settings store come in through two small
// interfaces, and the dialog that derives from it moves its controls in and out and shows
// and speaks what it is told.
#pragma once

#include "BlockingRules.h"
#include "SettingPolicy.h"
#include "SettingsTable.h"
#include "StoredSetting.h"
#include "TouchpadRules.h"

#include <array>
#include <cstdint>
#include <string>

// The two calls of the hook library; each returns non-zero when the hook is in force as asked.
class HookLibrary {
public:
    virtual int DisableMouse(std::uint16_t filter, std::uint32_t& lastError,
                             std::int32_t allowInjected) = 0;
    virtual int DisableKeyboard(std::int32_t disable, std::int32_t allowInjected) = 0;

protected:
    ~HookLibrary() = default;
};

// The per-user store of the settings, one row of the settings table at a time. A value that
// is missing or cannot be read loads as its default; a save says whether the value was taken.
class SettingsStore {
public:
    virtual StoredSettingValue Load(const SettingDef& setting) = 0;
    virtual bool Save(const SettingDef& setting, const StoredSettingValue& value) = 0;

protected:
    ~SettingsStore() = default;
};

class DialogCore {
public:
    using SettingValues = std::array<StoredSettingValue, kSettingCount>;

    DialogCore(HookLibrary& hooks, SettingsStore& store,
               TouchpadSwitch& touchpad = NoTouchpadSwitch()) noexcept
        : m_hooks(hooks), m_store(store), m_touchpad(touchpad) {}
    DialogCore(const DialogCore&) = delete;
    DialogCore& operator=(const DialogCore&) = delete;

    // Settings store: all fifteen, in table order, in one direction or the other. A save
    // returns whether every value was taken; a failed write does not stop the ones after it.
    // A setting locked by policy loads as the policy's value, and its stored value, the user's
    // own, is never written over: it comes back when the policy goes.
    bool LoadSaveSettings(bool bLoad);
    SettingValues SettingsInMembers() const;

    // Blocking control: the mouse word from the five boxes, both hooks applied (1 when both
    // are in force as asked, 0 after an error box), one mouse call and its report.
    std::uint16_t MouseFilter() const noexcept;
    int ApplyBlocking();
    int ApplyMouseFilter(std::uint16_t wFilter, std::uint32_t& dwLastError);
    int ApplyMouseFilterOrReport(std::uint16_t wFilter);

    // Controls into members, apply, store what held, read back, members into controls; a
    // change that did not hold is undone in force too.
    void CommitBlockingSettings();

    // The Disable / Enable shortcut: releases the mouse while blocking is in force or failed,
    // else applies the boxes again. Neither the boxes nor the store change.
    void ToggleMouseBlocking();

    // A click on "Disable Keyboard Keys". Returns whether the choice holds; once keys are
    // blocked the two shortcuts are gone from the members (the dialog unregisters them).
    bool SwitchKeyboardBlocking();

    // The Disable / Enable shortcut given up: no key, no name, box clear.
    void ForgetDisableEnableShortcut();

    // What the capture dialog gave: an OK with a key sets the shortcut, an OK without one or
    // any other end leaves none (after an empty OK the modifiers stay as given).
    void TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                              const std::wstring& name);

    // The hook library's own news: a hook the system had dropped is back, or the release
    // chord let go of all blocking (released) or brought it back.
    void HooksRestored(bool mouse, bool keyboard);
    void FollowReleaseChord(bool released);

    // The touchpad. Read at start and whenever the system's settings change: whether it can
    // be switched here; a touchpad that is on again is no longer ours to switch back on, and
    // one that has just become available follows the box. A click on its box brings the
    // choice into force and stores it, or puts the box back. Giving it back switches on only
    // what the program switched off, without a word: at exit and on a reset with no window.
    TouchpadAvailability RefreshTouchpad();
    void SwitchTouchpadBlocking();
    void GiveTouchpadBack();

    // The stored part of a reset: members to their reset values, saved. With no window the
    // members were never loaded, so the stored "Audible Alerts" is kept. When the store does
    // not take every value, the members are read back and false is returned.
    bool ResetStoredSettings(bool hasWindow);

    // The administrator's policy from now on. Nothing is loaded or applied here: the caller
    // loads the settings again and brings them into force.
    void SetPolicy(const SettingsPolicy& policy) { m_policy = policy; }
    const SettingsPolicy& Policy() const noexcept { return m_policy; }

    // Members with the names the dialog has always had; the dialog binds its controls to them.
    std::int32_t m_nBlockState = kBlockNothingApplied;
    std::wstring m_sKeyboardShortcutName2;
    std::uint16_t m_wKey2 = 0;
    std::uint16_t m_wMod2 = 0;
    std::int32_t m_bCheckDisableLeftClick = 0;
    std::int32_t m_bCheckDisableMiddleClick = 0;
    std::int32_t m_bCheckDisableMouseMovements = 0;
    std::int32_t m_bCheckDisableMouseWheel = 0;
    std::int32_t m_bCheckDisableRightClick = 0;
    std::int32_t m_bDisableKeyboardKeys = 0;
    std::int32_t m_bAutoMinimize = 0;
    std::int32_t m_bCloseWithKeyboardShortcut = 0;
    std::int32_t m_bAutoStartAtLogon = 0;
    std::int32_t m_bAllowInjected = 0;
    std::int32_t m_bDisableEnableKeyboardShortcut = 0;
    std::int32_t m_bAudibleAlerts = 0;
    std::int32_t m_bDisableTouchpad = 0;

protected:
    ~DialogCore() = default;

    // The window's side, which the dialog provides: its controls into the members and back,
    // a text for the status line and the voice, one for the voice only, an error box, and the
    // system's text for an error code.
    virtual void ControlsToMembers() = 0;
    virtual void MembersToControls() = 0;
    virtual void Announce(const std::wstring& text) = 0;
    virtual void Speak(const std::wstring& text) = 0;
    virtual void ShowError(const std::wstring& text) = 0;
    virtual std::wstring SystemErrorText(std::uint32_t code) = 0;

private:
    void LoadSetting(int index);
    void SetMember(int index, const StoredSettingValue& value);
    // Whatever a control or a rule put into the member of a locked setting, the policy's value
    // is the one that holds.
    void HoldLockedValues();

    // The touchpad as the box and the releases ask, reported; false when a switch failed.
    bool ApplyTouchpad();
    bool SwitchTouchpad(bool on, std::uint32_t& error);
    bool TouchpadSwitchedOff();
    bool RememberTouchpadSwitchedOff(bool off);
    void ReportTouchpadFailure(bool on, std::uint32_t error);

    HookLibrary& m_hooks;
    SettingsStore& m_store;
    bool m_bKeyboardInForce = false;           // the keyboard hook is in force
    std::int32_t m_nBlockStateBeforeChord = 0; // what the release chord put aside
    TouchpadSwitch& m_touchpad;
    TouchpadAvailability m_touchpadAvailability = TouchpadAvailability::Unsupported;
    bool m_bTouchpadRead = false;     // the availability has been read once
    bool m_bTouchpadReleased = false; // the shortcut or the chord gave the touchpad back for now
    SettingsPolicy m_policy;          // nothing locked until the dialog reads it
};
