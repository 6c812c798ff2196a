// Blocking in force: the mouse word from the five boxes and the keyboard choice applied through
// the hook library, a change that did not hold rolled back, the Disable / Enable toggle, and
// the release chord and dropped hooks that the hook library reports.
#pragma once

#include "BlockingRules.h"
#include "Ports.h"
#include "SettingValues.h"
#include "StoredSettings.h"
#include "TouchpadKeeper.h"

#include <cstdint>

namespace quelvant::core {

class BlockingControl {
public:
    BlockingControl(HookPort& hooks, SettingValues& values, StoredSettings& settings,
                    TouchpadKeeper& touchpad, CoreWindow& window) noexcept
        : m_hooks(hooks), m_values(values), m_settings(settings), m_touchpad(touchpad),
          m_window(window) {}
    BlockingControl(const BlockingControl&) = delete;
    BlockingControl& operator=(const BlockingControl&) = delete;

    // Both hooks applied as the values ask: true when both are in force, false after an
    // error box.
    bool Apply();

    // The values applied, what held stored, the store read back and shown; a change that did
    // not hold is undone in force too.
    void Commit();

    // The Disable / Enable shortcut: releases the mouse (and a touchpad held off) while
    // blocking is in force or failed, else applies the boxes again. Neither the boxes nor the
    // store change.
    void Toggle();

    // The hook library's own news: the release chord let go of all blocking (released) or
    // brought it back (and a touchpad it held could not follow), or a hook the system had
    // dropped is back.
    void FollowReleaseChord(bool released, std::uint32_t touchpadFailure = 0);
    void HooksRestored(bool mouse, bool keyboard);

    std::int32_t State() const noexcept { return m_nBlockState; }

    // While held (a timed lock), nothing changes the blocking: a commit or a toggle waits, and
    // is applied when the hold ends.
    void Hold(bool hold);
    // The chord's act, asked for (the notification icon's menu): the library lets go of all
    // blocking or brings it back and tells it as the chord.
    void ActAsChord(bool release);
    bool ChordReleased() const noexcept { return m_bChordReleased; }
    // The touchpad as the box asks (under a policy lock told without a box).
    void ApplyTouchpad();
    // Mouse or keys blocked, or the touchpad held off: something the chord's act lets go of.
    bool AnythingBlocked() {
        return m_nBlockState == kBlockInForce || m_bKeyboardInForce || m_touchpad.HeldOff();
    }

private:
    std::uint16_t MouseFilter() const noexcept;
    // The mouse's outcome taken and told, with an error box for a failure: whether it held.
    bool TellMouse(std::uint16_t filter, const HookResult& mouse);
    // The mouse alone set anew; the keyboard stays as it is.
    void BlockMouseOnly(std::uint16_t filter);

    HookPort& m_hooks;
    SettingValues& m_values;
    StoredSettings& m_settings;
    TouchpadKeeper& m_touchpad;
    CoreWindow& m_window;
    std::int32_t m_nBlockState = kBlockNothingApplied;
    bool m_bKeyboardInForce = false;           // the keyboard hook is in force
    std::int32_t m_nBlockStateBeforeChord = 0; // what the release chord put aside
    bool m_bChordReleased = false;             // the chord (or its act) let go of everything
    bool m_bHeld = false;                      // a timed lock holds everything
    bool m_bCommitWaits = false;               // a change of the boxes came during the hold
    bool m_bToggleWaits = false;               // an odd number of toggles came during it
};

} // namespace quelvant::core
