// The touchpad as the program keeps it: whether it can be switched here, switched off as the
// box asks unless a release gave it back for now, and always given back when the program is
// done with it. It returns what the user is to be told rather than telling it.
#pragma once

#include "Ports.h"
#include "TouchpadRules.h"

#include <cstdint>
#include <optional>

namespace quelvant::core {

// What a step of the keeper did that the user is told.
struct TouchpadNews {
    bool held = true;             // the touchpad is as asked, or cannot be switched here
    std::optional<TextId> status; // for the status line and the voice, when anything
    bool storeRefused = false;    // the memory of our switch could not be written
    bool switchFailed = false;    // the system's switch failed: `on` was asked, `code` why
    bool on = false;
    std::uint32_t code = 0;
    // Told in the status line and by voice, never as a box: under a policy lock (which would
    // bring the box back at every apply) and after the chord (keys may be blocked).
    bool boxless = false;
};

// The status and the error box of a step, as every other outcome is told.
void TellTouchpadNews(CoreWindow& window, const TouchpadNews& news);

class TouchpadKeeper {
public:
    TouchpadKeeper(HookPort& hooks, TouchpadReader& touchpad, SettingsStore& store) noexcept
        : m_hooks(hooks), m_touchpad(touchpad), m_store(store) {}
    TouchpadKeeper(const TouchpadKeeper&) = delete;
    TouchpadKeeper& operator=(const TouchpadKeeper&) = delete;

    // Read at start and whenever the system's settings change: whether it can be switched here;
    // a touchpad that is on again is no longer ours to switch back on, and one that has just
    // become available follows the box.
    TouchpadNews Refresh(bool boxTicked);
    // The touchpad's state changed (or the system's settings did): a toggle of ours that the
    // system seemed not to take may have been taken late. Taken off, it is held when the box
    // still asks so, else given back; taken on, it is ours no longer.
    TouchpadNews LookAgain(bool boxTicked);
    TouchpadAvailability Availability() const noexcept { return m_availability; }

    // The touchpad as the box and the releases ask; `locked` when policy holds the box.
    TouchpadNews Apply(bool boxTicked, bool locked = false);
    // The shortcut or the chord gave the touchpad back for now, or that release ended.
    void Release(bool released) noexcept { m_released = released; }
    // The chord acted in the hook library, which switched the touchpad it holds itself (the
    // dialog may have been stalled); only what it could not do is told, by its error.
    TouchpadNews FollowChord(bool released, std::uint32_t failure);
    // A click on the box: the user asks anew, so a switch that failed may be tried again.
    void ForgetFailure() noexcept { m_failedOff = false; }
    // The touchpad is off because of us and no release gave it back: blocking to let go of.
    bool HeldOff();
    // Switches on only what the program switched off, without a word: at exit and on a reset
    // with no window.
    void GiveBack();
    // A lock for cleaning is about to switch a touchpad that is on off: it is remembered as
    // ours first, so that no way of ending loses it (true when remembered now). Once the lock
    // is over, a touchpad that is on again is ours no longer.
    bool RememberForLock();
    void LockOver(bool remembered);

private:
    // The hook library asked to hold the touchpad off (on: let it go); false with its error.
    bool Send(bool on, std::uint32_t& error);
    // Sent, and then read back as asked.
    bool Switch(bool on, std::uint32_t& error);
    bool SwitchedOff();
    bool RememberSwitchedOff(bool off);
    // A toggle was sent and the state did not follow in time (the error says so): noted, true.
    bool NoteLate(bool on, std::uint32_t error) noexcept;

    HookPort& m_hooks;
    TouchpadReader& m_touchpad;
    SettingsStore& m_store;
    TouchpadAvailability m_availability = TouchpadAvailability::Unsupported;
    bool m_read = false;     // the availability has been read once
    bool m_released = false; // the shortcut or the chord gave the touchpad back for now
    // Switching off failed this start: not asked again by itself, since the toggle may yet be
    // taken late and a second one would undo it; a click on the box asks anew.
    bool m_failedOff = false;
    // The last toggle sent did not read back in time and may yet be taken, this way.
    enum class LateToggle : unsigned char { None, Off, On } m_late = LateToggle::None;
};

} // namespace quelvant::core
