#include "BlockingControl.h"

#include <utility>

namespace quelvant::core {

namespace {

// What the hook library is asked for: the mouse word, the keyboard choice, simulated input.
struct BlockingChoice {
    std::uint16_t mouseFilter;
    bool disableKeyboard;
    bool allowInjected;

    bool SameMouse(const BlockingChoice& other) const {
        return mouseFilter == other.mouseFilter && allowInjected == other.allowInjected;
    }
    bool operator==(const BlockingChoice& other) const {
        return SameMouse(other) && disableKeyboard == other.disableKeyboard;
    }
};

} // namespace

std::uint16_t BlockingControl::MouseFilter() const noexcept {
    const SettingValues& v = m_values;
    return ComposeMouseFilter(v.Number(kCheckDisableLeftClick), v.Number(kCheckDisableRightClick),
                              v.Number(kCheckDisableMiddleClick),
                              v.Number(kCheckDisableMouseMovements),
                              v.Number(kCheckDisableMouseWheel));
}

bool BlockingControl::Apply() {
    m_bChordReleased = false; // the library ends a release at any call
    const std::uint16_t filter = MouseFilter();
    const bool keys = m_values.On(kDisableKeyboardKeys);
    const BlockResult result = m_hooks.Block(filter, keys ? KeysChoice::Block : KeysChoice::Pass,
                                             m_values.On(kAllowInjected));
    if (!TellMouse(filter, result.mouse)) {
        return false; // the keyboard is left as it is
    }
    if (result.keys.done) {
        // Said once each time keys become blocked: a blind user may never meet the tooltip.
        if (keys && !m_bKeyboardInForce) {
            m_window.Speak(m_window.Text(TextId::KeyboardBlockedHint));
        }
        m_bKeyboardInForce = keys;
        // Applying ends a release; a touchpad that cannot follow says so itself and its
        // choice stays stored, to be tried again at the next apply.
        m_touchpad.Release(false);
        ApplyTouchpad();
        return true;
    }
    m_window.ShowError(m_window.Text(TextId::KeyboardError));
    return false;
}

bool BlockingControl::TellMouse(std::uint16_t filter, const HookResult& mouse) {
    const MouseOutcome outcome = PickMouseOutcome(filter, mouse.done ? 1 : 0);
    m_nBlockState = outcome.blockState;
    m_window.Announce(m_window.Text(outcome.text));
    if (!mouse.done) {
        m_window.ShowError(
            FormatMouseErrorMessage(m_window, mouse.error, m_window.SystemErrorText(mouse.error)));
    }
    return mouse.done;
}

void BlockingControl::BlockMouseOnly(std::uint16_t filter) {
    TellMouse(filter,
              m_hooks.Block(filter, KeysChoice::Unchanged, m_values.On(kAllowInjected)).mouse);
}

void BlockingControl::ApplyTouchpad() {
    TellTouchpadNews(m_window, m_touchpad.Apply(m_values.On(kDisableTouchpad),
                                                m_settings.Policy().Locks(kDisableTouchpad)));
}

void BlockingControl::Commit() {
    if (m_bHeld) {
        m_values.AsShown();
        m_settings.HoldLockedValues();
        m_bCommitWaits = true;
        return;
    }
    const auto choice = [this] {
        return BlockingChoice{MouseFilter(), m_values.On(kDisableKeyboardKeys),
                              m_values.On(kAllowInjected)};
    };
    m_values.AsShown();
    m_settings.HoldLockedValues();
    const SettingValues::Values asked = m_values.All();
    const BlockingChoice applied = choice();
    const bool held = Apply();
    if (held) {
        m_settings.Save();
    }
    // A failed change so falls back to the last stored state, in the values and on screen.
    m_settings.Load();
    m_window.ShowView();
    if (m_values.All() == asked) {
        return;
    }
    // The change did not hold. What is in force goes back to what the boxes show again: a
    // failed mouse hook left the former one in force, and a failed keyboard hook the former
    // keyboard hook, but the mouse as newly applied.
    const BlockingChoice shown = choice();
    if (held) {
        if (!(shown == applied)) {
            Apply();
        }
        m_window.ShowError(m_window.Text(TextId::SaveError));
    } else if (m_nBlockState != kBlockError && !shown.SameMouse(applied)) {
        BlockMouseOnly(shown.mouseFilter);
    }
}

void BlockingControl::Toggle() {
    if (m_bHeld) {
        m_bToggleWaits = !m_bToggleWaits;
        return;
    }
    m_values.AsShown();
    m_settings.HoldLockedValues();
    const bool mouseHeld = HotKeyReleasesMouse(m_nBlockState);
    // A touchpad held off counts as blocking too, so that the shortcut gives it back also
    // when no mouse box is ticked.
    const bool touchpadHeld = m_touchpad.HeldOff();
    if (mouseHeld || touchpadHeld) {
        if (mouseHeld) {
            BlockMouseOnly(0);
        }
        m_touchpad.Release(true);
        ApplyTouchpad();
    } else {
        Apply();
    }
}

void BlockingControl::Hold(bool hold) {
    m_bHeld = hold;
    if (hold) {
        return;
    }
    // The boxes first, since a commit ends any release; then the toggle on what they applied.
    if (std::exchange(m_bCommitWaits, false)) {
        Commit();
    }
    if (std::exchange(m_bToggleWaits, false)) {
        Toggle();
    }
}

void BlockingControl::ActAsChord(bool release) {
    m_hooks.ChordAct(release);
}

void BlockingControl::FollowReleaseChord(bool released, std::uint32_t touchpadFailure) {
    m_bChordReleased = released;
    // The hook library switched a touchpad it held already; what it could not do is told
    // after the chord's own text.
    const TouchpadNews news = m_touchpad.FollowChord(released, touchpadFailure);
    if (released) {
        m_nBlockStateBeforeChord = m_nBlockState;
        m_nBlockState = kBlockReleased; // so the Disable / Enable shortcut applies again
    } else {
        m_nBlockState = m_nBlockStateBeforeChord;
    }
    m_window.Announce(m_window.Text(released ? TextId::ChordReleased : TextId::ChordRestored));
    TellTouchpadNews(m_window, news);
}

void BlockingControl::HooksRestored(bool mouse, bool keyboard) {
    m_window.Announce(m_window.Text(HooksRestoredText(mouse, keyboard)));
}

} // namespace quelvant::core
