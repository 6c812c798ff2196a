#include "DialogCore.h"

#include <iterator>
#include <string_view>

namespace {

// Which member holds each stored setting. The value name is the member's own name, spelled
// once by the macro below, and the compiler checks names, kinds and order against the
// settings table, so the two cannot drift apart.
struct SettingMember {
    const wchar_t* name;
    std::int32_t DialogCore::*boolMember = nullptr;
    std::uint16_t DialogCore::*wordMember = nullptr;
    std::wstring DialogCore::*textMember = nullptr;

    constexpr SettingMember(const wchar_t* n, std::int32_t DialogCore::*m)
        : name(n), boolMember(m) {}
    constexpr SettingMember(const wchar_t* n, std::uint16_t DialogCore::*m)
        : name(n), wordMember(m) {}
    constexpr SettingMember(const wchar_t* n, std::wstring DialogCore::*m)
        : name(n), textMember(m) {}

    constexpr SettingKind Kind() const {
        return boolMember != nullptr   ? SettingKind::Bool
               : wordMember != nullptr ? SettingKind::Word
                                       : SettingKind::String;
    }
};

#define QUELVANT_SETTING(member) SettingMember(L## #member, &DialogCore::member)

constexpr SettingMember kSettingMembers[] = {
    QUELVANT_SETTING(m_bCheckDisableLeftClick),
    QUELVANT_SETTING(m_bCheckDisableMiddleClick),
    QUELVANT_SETTING(m_bCheckDisableMouseMovements),
    QUELVANT_SETTING(m_bCheckDisableMouseWheel),
    QUELVANT_SETTING(m_bCheckDisableRightClick),
    QUELVANT_SETTING(m_bDisableKeyboardKeys),
    QUELVANT_SETTING(m_bAutoMinimize),
    QUELVANT_SETTING(m_bCloseWithKeyboardShortcut),
    QUELVANT_SETTING(m_bAllowInjected),
    QUELVANT_SETTING(m_bDisableEnableKeyboardShortcut),
    QUELVANT_SETTING(m_wKey2),
    QUELVANT_SETTING(m_wMod2),
    QUELVANT_SETTING(m_sKeyboardShortcutName2),
    QUELVANT_SETTING(m_bAudibleAlerts),
    QUELVANT_SETTING(m_bDisableTouchpad),
};

#undef QUELVANT_SETTING

constexpr bool MembersMatchTheSettingsTable() {
    if (std::size(kSettingMembers) != std::size(kSettings)) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        if (std::wstring_view(kSettingMembers[i].name) != kSettings[i].name ||
            kSettingMembers[i].Kind() != kSettings[i].kind) {
            return false;
        }
    }
    return true;
}
static_assert(MembersMatchTheSettingsTable(),
              "every stored setting needs its member, in table order and of its kind");

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

BlockingChoice ChoiceOf(const DialogCore& core) {
    return {core.MouseFilter(), core.m_bDisableKeyboardKeys != 0, core.m_bAllowInjected != 0};
}

} // namespace

void DialogCore::LoadSetting(int index) {
    SetMember(index, m_store.Load(kSettings[index]));
}

void DialogCore::HoldLockedValues() {
    for (int i = 0; i < kSettingCount; ++i) {
        if (m_policy.Locks(i)) {
            SetMember(i, *m_policy.locked[i]);
        }
    }
}

void DialogCore::SetMember(int index, const StoredSettingValue& value) {
    const SettingDef& setting = kSettings[index];
    const SettingMember& member = kSettingMembers[index];
    switch (setting.kind) {
    case SettingKind::Bool:
        this->*member.boolMember = value.number;
        break;
    case SettingKind::Word:
        this->*member.wordMember = static_cast<std::uint16_t>(value.number);
        break;
    case SettingKind::String:
        this->*member.textMember = value.text;
        break;
    }
}

DialogCore::SettingValues DialogCore::SettingsInMembers() const {
    SettingValues values;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingMember& member = kSettingMembers[i];
        switch (kSettings[i].kind) {
        case SettingKind::Bool:
            values[i].number = this->*member.boolMember;
            break;
        case SettingKind::Word:
            values[i].number = this->*member.wordMember;
            break;
        case SettingKind::String:
            values[i].text = this->*member.textMember;
            break;
        }
    }
    return values;
}

bool DialogCore::LoadSaveSettings(bool bLoad) {
    bool written = true;
    if (bLoad) {
        for (int i = 0; i < kSettingCount; ++i) {
            LoadSetting(i);
        }
        HoldLockedValues();
        return written;
    }
    const SettingValues values = SettingsInMembers();
    for (int i = 0; i < kSettingCount; ++i) {
        if (!m_policy.Locks(i)) {
            written = m_store.Save(kSettings[i], values[i]) && written;
        }
    }
    return written;
}

std::uint16_t DialogCore::MouseFilter() const noexcept {
    return ComposeMouseFilter(m_bCheckDisableLeftClick, m_bCheckDisableRightClick,
                              m_bCheckDisableMiddleClick, m_bCheckDisableMouseMovements,
                              m_bCheckDisableMouseWheel);
}

int DialogCore::ApplyBlocking() {
    if (ApplyMouseFilterOrReport(MouseFilter()) == 0) {
        return 0; // the keyboard is left as it is
    }
    if (m_hooks.DisableKeyboard(m_bDisableKeyboardKeys, m_bAllowInjected) != 0) {
        // Said once each time keys become blocked: a blind user may never meet the tooltip.
        if (m_bDisableKeyboardKeys != 0 && !m_bKeyboardInForce) {
            Speak(kKeyboardBlockedHint);
        }
        m_bKeyboardInForce = m_bDisableKeyboardKeys != 0;
        // Applying ends a release; a touchpad that cannot follow says so itself and its
        // choice stays stored, to be tried again at the next apply.
        m_bTouchpadReleased = false;
        ApplyTouchpad();
        return 1;
    }
    ShowError(kKeyboardErrorText);
    return 0;
}

int DialogCore::ApplyMouseFilter(std::uint16_t wFilter, std::uint32_t& dwLastError) {
    const int result = m_hooks.DisableMouse(wFilter, dwLastError, m_bAllowInjected);
    const MouseOutcome outcome = PickMouseOutcome(wFilter, result);
    m_nBlockState = outcome.blockState;
    Announce(outcome.text);
    return result;
}

int DialogCore::ApplyMouseFilterOrReport(std::uint16_t wFilter) {
    std::uint32_t lastError = 0;
    const int result = ApplyMouseFilter(wFilter, lastError);
    if (result == 0) {
        ShowError(FormatMouseErrorMessage(lastError, SystemErrorText(lastError)));
    }
    return result;
}

void DialogCore::CommitBlockingSettings() {
    ControlsToMembers();
    HoldLockedValues();
    const SettingValues asked = SettingsInMembers();
    const BlockingChoice applied = ChoiceOf(*this);
    const int result = ApplyBlocking();
    if (result == 1) {
        LoadSaveSettings(false);
    }
    // A failed change so falls back to the last stored state, in members and check boxes.
    LoadSaveSettings(true);
    MembersToControls();
    if (SettingsInMembers() == asked) {
        return;
    }
    // The change did not hold. What is in force goes back to what the boxes show again: a
    // failed mouse hook left the former one in force, and a failed keyboard hook the former
    // keyboard hook, but the mouse as newly applied.
    const BlockingChoice shown = ChoiceOf(*this);
    if (result == 1) {
        if (!(shown == applied)) {
            ApplyBlocking();
        }
        ShowError(kSaveErrorText);
    } else if (m_nBlockState != kBlockError && !shown.SameMouse(applied)) {
        ApplyMouseFilterOrReport(shown.mouseFilter);
    }
}

void DialogCore::ToggleMouseBlocking() {
    ControlsToMembers();
    HoldLockedValues();
    const bool mouseHeld = HotKeyReleasesMouse(m_nBlockState);
    // A touchpad held off counts as blocking too, so that the shortcut gives it back also
    // when no mouse box is ticked.
    const bool touchpadHeld = m_touchpadAvailability == TouchpadAvailability::Available &&
                              !m_bTouchpadReleased && TouchpadSwitchedOff();
    if (mouseHeld || touchpadHeld) {
        if (mouseHeld) {
            ApplyMouseFilterOrReport(0);
        }
        m_bTouchpadReleased = true;
        ApplyTouchpad();
    } else {
        ApplyBlocking();
    }
}

bool DialogCore::SwitchKeyboardBlocking() {
    // The keyboard choice is brought into force first, and the shortcuts give way only once
    // it is: should the hook fail, the box falls back to what applies, as any other box does,
    // and both shortcuts stay as they were, stored and registered.
    ControlsToMembers();
    HoldLockedValues();
    const std::int32_t wanted = m_bDisableKeyboardKeys;
    CommitBlockingSettings();
    if (m_bDisableKeyboardKeys != wanted) {
        return false;
    }
    if (m_bDisableKeyboardKeys != 0) {
        m_bCloseWithKeyboardShortcut = 0;
        ForgetDisableEnableShortcut();
        MembersToControls();
    }
    return true;
}

void DialogCore::ForgetDisableEnableShortcut() {
    m_bDisableEnableKeyboardShortcut = 0;
    m_wKey2 = 0;
    m_wMod2 = 0;
    m_sKeyboardShortcutName2.clear();
    HoldLockedValues();
}

void DialogCore::TakeCapturedShortcut(bool ok, std::uint16_t key, std::uint16_t mod,
                                      const std::wstring& name) {
    if (ok) {
        m_wKey2 = key;
        m_wMod2 = mod;
        m_sKeyboardShortcutName2 = name;
        if (key != 0) {
            HoldLockedValues();
            return;
        }
        // An empty capture is no shortcut; the modifiers stay as the dialog gave them.
        ControlsToMembers();
        m_bDisableEnableKeyboardShortcut = 0;
        m_sKeyboardShortcutName2.clear();
    } else {
        // Cancel, Esc, the close box, or a dialog that could not open: no shortcut at all.
        ControlsToMembers();
        ForgetDisableEnableShortcut();
    }
    HoldLockedValues();
    MembersToControls();
}

void DialogCore::HooksRestored(bool mouse, bool keyboard) {
    Announce(HooksRestoredText(mouse, keyboard));
}

void DialogCore::FollowReleaseChord(bool released) {
    // The touchpad follows before the chord's own text, which tells how to block again.
    m_bTouchpadReleased = released;
    ApplyTouchpad();
    if (released) {
        m_nBlockStateBeforeChord = m_nBlockState;
        m_nBlockState = kBlockReleased; // so the Disable / Enable shortcut applies again
    } else {
        m_nBlockState = m_nBlockStateBeforeChord;
    }
    Announce(released ? kChordReleasedText : kChordRestoredText);
}

bool DialogCore::ResetStoredSettings(bool hasWindow) {
    for (int i = 0; i < kSettingCount; ++i) {
        if (!kSettings[i].keptByReset) {
            const SettingDef& setting = kSettings[i];
            const SettingMember& member = kSettingMembers[i];
            switch (setting.kind) {
            case SettingKind::Bool:
                this->*member.boolMember = setting.defaultValue;
                break;
            case SettingKind::Word:
                this->*member.wordMember = static_cast<std::uint16_t>(setting.defaultValue);
                break;
            case SettingKind::String:
                (this->*member.textMember).clear();
                break;
            }
        } else if (!hasWindow) {
            // Without a window the member was never loaded, so the stored choice is taken,
            // lest a reset from the command line silence a user who relies on speech.
            LoadSetting(i);
        }
    }
    // Only what no policy locks goes back to its starting value.
    HoldLockedValues();
    m_bAutoStartAtLogon = 0;
    if (LoadSaveSettings(false)) {
        return true;
    }
    // The store keeps what it held: the dialog shows that and brings it into force rather
    // than a reset that did not happen.
    LoadSaveSettings(true);
    return false;
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

TouchpadAvailability DialogCore::RefreshTouchpad() {
    TouchpadReading reading;
    std::uint32_t error = 0;
    const TouchpadAvailability before = m_touchpadAvailability;
    const bool wasRead = m_bTouchpadRead;
    m_bTouchpadRead = true;
    if (!m_touchpad.Read(reading, error)) {
        m_touchpadAvailability = TouchpadAvailability::Unsupported;
    } else if (!reading.present) {
        m_touchpadAvailability = TouchpadAvailability::Absent;
    } else {
        m_touchpadAvailability = TouchpadAvailability::Available;
        // Switched on again by someone else (the user in Settings, a restart of the system):
        // there is nothing of ours left to give back.
        if (reading.enabled && TouchpadSwitchedOff()) {
            RememberTouchpadSwitchedOff(false);
        }
        if (wasRead && before != TouchpadAvailability::Available) {
            ApplyTouchpad();
        }
    }
    return m_touchpadAvailability;
}

void DialogCore::SwitchTouchpadBlocking() {
    ControlsToMembers();
    HoldLockedValues();
    m_bTouchpadReleased = false;
    if (ApplyTouchpad()) {
        LoadSaveSettings(false);
    } else {
        // The box shows what holds again, and the store keeps the last choice that held.
        m_bDisableTouchpad = m_store.Load(kSettings[kDisableTouchpad]).number;
    }
    MembersToControls();
}

void DialogCore::GiveTouchpadBack() {
    std::uint32_t error = 0;
    if (TouchpadSwitchedOff() && SwitchTouchpad(true, error)) {
        RememberTouchpadSwitchedOff(false);
    }
}

bool DialogCore::ApplyTouchpad() {
    if (m_touchpadAvailability != TouchpadAvailability::Available) {
        return true; // the choice stays stored for a machine where it works
    }
    const bool wantOff = m_bDisableTouchpad != 0 && !m_bTouchpadReleased;
    const bool ours = TouchpadSwitchedOff();
    std::uint32_t error = 0;
    if (!wantOff) {
        // Only what the program switched off goes back on; the user's own switch stays.
        if (!ours) {
            return true;
        }
        if (!SwitchTouchpad(true, error)) {
            ReportTouchpadFailure(true, error);
            return false;
        }
        RememberTouchpadSwitchedOff(false);
        Announce(kTouchpadEnabledText);
        return true;
    }
    TouchpadReading reading;
    if (!m_touchpad.Read(reading, error)) {
        ReportTouchpadFailure(false, error);
        return false;
    }
    if (!reading.enabled) {
        return true; // off already: by us before, or by the user, whose switch it then stays
    }
    // Remembered before the switch, so that no way of ending can lose it.
    if (!RememberTouchpadSwitchedOff(true)) {
        ShowError(kSaveErrorText);
        return false;
    }
    if (!SwitchTouchpad(false, error)) {
        RememberTouchpadSwitchedOff(false);
        ReportTouchpadFailure(false, error);
        return false;
    }
    Announce(kTouchpadDisabledText);
    return true;
}

// A switch counts only once the system reads back as asked: a call that succeeds but leaves
// the touchpad as it was is a failure the user is told about.
bool DialogCore::SwitchTouchpad(bool on, std::uint32_t& error) {
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

bool DialogCore::TouchpadSwitchedOff() {
    return m_store.Load(kTouchpadSwitchedOff).number != 0;
}

bool DialogCore::RememberTouchpadSwitchedOff(bool off) {
    return m_store.Save(kTouchpadSwitchedOff, StoredSettingValue{off ? 1 : 0, {}});
}

void DialogCore::ReportTouchpadFailure(bool on, std::uint32_t error) {
    Announce(on ? kTouchpadEnableErrorText : kTouchpadDisableErrorText);
    ShowError(FormatTouchpadErrorMessage(on, error, SystemErrorText(error)));
}
