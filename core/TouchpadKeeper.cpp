#include "TouchpadKeeper.h"

#include "BlockingRules.h"

namespace quelvant::core {

namespace {

TouchpadNews Failure(bool on, std::uint32_t code, bool boxless = false) {
    TouchpadNews news;
    news.held = false;
    news.status = on ? TextId::TouchpadEnableError : TextId::TouchpadDisableError;
    news.switchFailed = true;
    news.on = on;
    news.code = code;
    news.boxless = boxless;
    return news;
}

// The system's own words, but for what no error code names: a toggle the system did not take,
// one not sent while the user held a modifier, one that user-interface privilege isolation
// refused without a word.
std::wstring Reason(CoreWindow& window, std::uint32_t code) {
    switch (code) {
    case kTouchpadSwitchIgnored:
        return window.Text(TextId::TouchpadToggleIgnored);
    case kTouchpadModifiersHeld:
        return window.Text(TextId::TouchpadModifiersHeld);
    case kTouchpadBlockedByPrivilege:
        return window.Text(TextId::TouchpadBlockedByPrivilege);
    default:
        return window.SystemErrorText(code);
    }
}

} // namespace

void TellTouchpadNews(CoreWindow& window, const TouchpadNews& news) {
    if (news.status && !news.boxless) {
        window.Announce(window.Text(*news.status));
    }
    if (news.storeRefused) {
        window.ShowError(window.Text(TextId::SaveError));
    }
    if (news.switchFailed && news.boxless) {
        window.Announce(FormatTouchpadErrorLine(window, news.on, Reason(window, news.code)));
    } else if (news.switchFailed) {
        window.ShowError(
            FormatTouchpadErrorMessage(window, news.on, news.code, Reason(window, news.code)));
    }
}

TouchpadReader& NoTouchpad() {
    class None final : public TouchpadReader {
    public:
        bool Read(TouchpadReading&, std::uint32_t& error) override {
            error = kTouchpadCallUnsupported;
            return false;
        }
    };
    static None none;
    return none;
}

TouchpadNews TouchpadKeeper::Refresh(bool boxTicked) {
    TouchpadReading reading;
    std::uint32_t error = 0;
    const TouchpadAvailability before = m_availability;
    const bool wasRead = m_read;
    m_read = true;
    if (!m_touchpad.Read(reading, error)) {
        m_availability = TouchpadAvailability::Unsupported;
    } else if (!reading.present) {
        m_availability = TouchpadAvailability::Absent;
    } else {
        m_availability = TouchpadAvailability::Available;
        // Switched on again by the user (in Settings or with the touchpad's own key): there is
        // nothing of ours left to give back, and the library lets go of it (nothing is sent,
        // it is on). Not while a release lent it back: that is ours to take again; nor while a
        // toggle of ours that turns it off may still be taken.
        if (reading.enabled && !m_released && m_late != LateToggle::Off && SwitchedOff()) {
            Send(true, error);
            RememberSwitchedOff(false);
        }
        if (wasRead && before != TouchpadAvailability::Available) {
            return Apply(boxTicked);
        }
        return LookAgain(boxTicked);
    }
    return {};
}

TouchpadNews TouchpadKeeper::LookAgain(bool boxTicked) {
    TouchpadReading reading;
    std::uint32_t error = 0;
    if (m_late == LateToggle::None || m_availability != TouchpadAvailability::Available ||
        !m_touchpad.Read(reading, error)) {
        return {};
    }
    const bool tookOff = m_late == LateToggle::Off;
    if (reading.enabled == tookOff) {
        return {}; // not taken yet
    }
    m_late = LateToggle::None;
    const bool wantOff = boxTicked && !m_released;
    if (!tookOff) {
        if (!wantOff) {
            Send(true, error); // on already: nothing is sent, the library lets go
            RememberSwitchedOff(false);
        }
        return {};
    }
    m_failedOff = false;
    if (wantOff) {
        Send(false, error); // off as asked after all: held, nothing sent
        return {true, TextId::TouchpadDisabled};
    }
    // The box was cleared when the toggle seemed not taken: the touchpad goes back on.
    GiveBack();
    return {};
}

TouchpadNews TouchpadKeeper::Apply(bool boxTicked, bool locked) {
    if (m_availability != TouchpadAvailability::Available) {
        return {}; // the choice stays stored for a machine where it works
    }
    const bool wantOff = boxTicked && !m_released;
    std::uint32_t error = 0;
    if (!wantOff) {
        // Only what the program switched off goes back on; the user's own switch stays.
        if (!SwitchedOff()) {
            return {};
        }
        if (!Switch(true, error)) {
            NoteLate(true, error);
            return Failure(true, error, locked);
        }
        m_late = LateToggle::None;
        RememberSwitchedOff(false);
        return {true, TextId::TouchpadEnabled};
    }
    if (m_failedOff) {
        return {}; // asked once already and told; see m_failedOff
    }
    TouchpadReading reading;
    if (!m_touchpad.Read(reading, error)) {
        return Failure(false, error, locked);
    }
    if (!reading.enabled) {
        // Off already: by the user, whose switch it then stays, or by us before (a start after
        // the program was ended), and then held again, with nothing sent, so the chord can
        // give it back.
        if (SwitchedOff()) {
            Send(false, error);
        }
        return {};
    }
    // Remembered before the switch, so that no way of ending can lose it.
    if (!RememberSwitchedOff(true)) {
        TouchpadNews news;
        news.held = false;
        news.storeRefused = true;
        return news;
    }
    if (!Switch(false, error)) {
        // A toggle that was sent may still be taken late: ours until the touchpad reads on.
        if (!NoteLate(false, error)) {
            RememberSwitchedOff(false);
        }
        m_failedOff = true;
        return Failure(false, error, locked);
    }
    m_late = LateToggle::None;
    return {true, TextId::TouchpadDisabled};
}

TouchpadNews TouchpadKeeper::FollowChord(bool released, std::uint32_t failure) {
    m_released = released;
    if (failure == 0) {
        return {};
    }
    return Failure(released, failure, true);
}

bool TouchpadKeeper::HeldOff() {
    return m_availability == TouchpadAvailability::Available && !m_released &&
           m_late != LateToggle::Off && SwitchedOff();
}

void TouchpadKeeper::GiveBack() {
    std::uint32_t error = 0;
    if (!SwitchedOff()) {
        return;
    }
    if (Switch(true, error)) {
        m_late = LateToggle::None;
        RememberSwitchedOff(false);
    } else {
        NoteLate(true, error);
    }
}

bool TouchpadKeeper::NoteLate(bool on, std::uint32_t error) noexcept {
    if (error != kTouchpadSwitchIgnored) {
        return false;
    }
    m_late = on ? LateToggle::On : LateToggle::Off;
    return true;
}

// A switch counts only once the system reads back as asked: a call that succeeds but leaves
// the touchpad as it was is a failure the user is told about.
bool TouchpadKeeper::Send(bool on, std::uint32_t& error) {
    const HookResult result = m_hooks.HoldTouchpad(!on);
    error = result.done ? error : result.error;
    return result.done;
}

bool TouchpadKeeper::Switch(bool on, std::uint32_t& error) {
    if (!Send(on, error)) {
        return false;
    }
    TouchpadReading reading;
    if (!m_touchpad.Read(reading, error)) {
        return false;
    }
    if (reading.enabled != on) {
        error = kTouchpadSwitchIgnored;
        return false;
    }
    return true;
}

bool TouchpadKeeper::SwitchedOff() {
    return m_store.Load(kTouchpadSwitchedOff).number != 0;
}

bool TouchpadKeeper::RememberSwitchedOff(bool off) {
    return m_store.Save(kTouchpadSwitchedOff, StoredSettingValue{off ? 1 : 0, {}});
}

bool TouchpadKeeper::RememberForLock() {
    TouchpadReading reading;
    std::uint32_t error = 0;
    if (m_availability != TouchpadAvailability::Available || SwitchedOff() ||
        !m_touchpad.Read(reading, error) || !reading.enabled) {
        return false; // none to switch, ours already, or the user's own off
    }
    return RememberSwitchedOff(true);
}

void TouchpadKeeper::LockOver(bool remembered) {
    TouchpadReading reading;
    std::uint32_t error = 0;
    if (remembered && m_touchpad.Read(reading, error) && reading.enabled) {
        RememberSwitchedOff(false);
    }
}

} // namespace quelvant::core
