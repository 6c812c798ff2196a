#include "TouchpadKeeper.h"

#include "BlockingRules.h"

namespace quelvant::core {

namespace {

TouchpadNews Failure(bool on, std::uint32_t code) {
    TouchpadNews news;
    news.held = false;
    news.status = on ? kTouchpadEnableErrorText : kTouchpadDisableErrorText;
    news.switchFailed = true;
    news.on = on;
    news.code = code;
    return news;
}

} // namespace

void TellTouchpadNews(CoreWindow& window, const TouchpadNews& news) {
    if (news.status != nullptr) {
        window.Announce(news.status);
    }
    if (news.storeRefused) {
        window.ShowError(kSaveErrorText);
    }
    if (news.switchFailed) {
        window.ShowError(
            FormatTouchpadErrorMessage(news.on, news.code, window.SystemErrorText(news.code)));
    }
}

TouchpadSwitch& NoTouchpadSwitch() {
    class None final : public TouchpadSwitch {
    public:
        bool Read(TouchpadReading&, std::uint32_t& error) override {
            error = kTouchpadCallUnsupported;
            return false;
        }
        bool Switch(bool, std::uint32_t& error) override {
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
        // Switched on again by someone else (the user in Settings, a restart of the system):
        // there is nothing of ours left to give back.
        if (reading.enabled && SwitchedOff()) {
            RememberSwitchedOff(false);
        }
        if (wasRead && before != TouchpadAvailability::Available) {
            return Apply(boxTicked);
        }
    }
    return {};
}

TouchpadNews TouchpadKeeper::Apply(bool boxTicked) {
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
            return Failure(true, error);
        }
        RememberSwitchedOff(false);
        return {true, kTouchpadEnabledText};
    }
    TouchpadReading reading;
    if (!m_touchpad.Read(reading, error)) {
        return Failure(false, error);
    }
    if (!reading.enabled) {
        return {}; // off already: by us before, or by the user, whose switch it then stays
    }
    // Remembered before the switch, so that no way of ending can lose it.
    if (!RememberSwitchedOff(true)) {
        TouchpadNews news;
        news.held = false;
        news.storeRefused = true;
        return news;
    }
    if (!Switch(false, error)) {
        RememberSwitchedOff(false);
        return Failure(false, error);
    }
    return {true, kTouchpadDisabledText};
}

bool TouchpadKeeper::HeldOff() {
    return m_availability == TouchpadAvailability::Available && !m_released && SwitchedOff();
}

void TouchpadKeeper::GiveBack() {
    std::uint32_t error = 0;
    if (SwitchedOff() && Switch(true, error)) {
        RememberSwitchedOff(false);
    }
}

// A switch counts only once the system reads back as asked: a call that succeeds but leaves
// the touchpad as it was is a failure the user is told about.
bool TouchpadKeeper::Switch(bool on, std::uint32_t& error) {
    if (!m_touchpad.Switch(on, error)) {
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

} // namespace quelvant::core
