// Everything the core calls out to, in one place: the hook library, the per-user settings
// store, the administrator's policy, the system's touchpad switch, the user's Run list and the
// window over the core.
// The real adapters live in adapters/ (and the window in ui/); the native tests fake each one.
#pragma once

#include "SettingPolicy.h"
#include "SettingsTable.h"
#include "StoredSetting.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quelvant::core {

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
    // Bracket a pass over all the settings, which the store may serve through one opening of
    // its place. Each pass opens it anew: a store locked meanwhile refuses the next pass.
    virtual void BeginPass() {}
    virtual void EndPass() {}

protected:
    ~SettingsStore() = default;
};

// The administrator's policy as it stands now: the machine's key over the user's. A source
// that can watch its keys calls `changed`, on a thread of its own, whenever they may have
// changed, however they were written, until it is told to stop; one that cannot, never does.
class PolicySource {
public:
    using ChangeCallback = void (*)(void* context);
    virtual SettingsPolicy Read() = 0;
    virtual void Watch(ChangeCallback /*changed*/, void* /*context*/) {}
    virtual void StopWatching() {}

protected:
    ~PolicySource() = default;
};

// What the system says about its precision touchpads.
struct TouchpadReading {
    bool present = false; // a precision touchpad is there
    bool enabled = false; // its "Touchpad" switch is on
};

// The system's touchpad switch. Each call returns false with the system's error code when it
// fails. A switch changes only a state that differs from the one asked (the system's switch is
// a toggle) and then holds the touchpad off, or lets go of it, until asked otherwise.
class TouchpadSwitch {
public:
    virtual bool Read(TouchpadReading& reading, std::uint32_t& error) = 0;
    virtual bool Switch(bool on, std::uint32_t& error) = 0;

protected:
    ~TouchpadSwitch() = default;
};

// A system without a precision touchpad: every read fails, as under Wine.
TouchpadSwitch& NoTouchpadSwitch();

// The user's Run list (the programs the system starts at logon), as far as the program's own
// entry goes. Writing and deleting report nothing: the list read again is the answer.
class RunList {
public:
    struct Entry {
        bool found = false;             // the entry is there and was read whole
        std::uint32_t type = 0;         // its registry type, as stored
        std::vector<std::uint8_t> data; // its bytes, as stored
    };
    // False when the list cannot be opened for reading; a missing entry reads as not found.
    virtual bool Read(Entry& entry) = 0;
    // The entry's text, stored as a string; nothing happens when the list cannot be changed.
    virtual void Write(const std::wstring& text) = 0;
    virtual void Delete() = 0;
    // The running program's whole path; empty when it cannot be had.
    virtual std::wstring ProgramPath() = 0;
    virtual bool FileExists(const std::wstring& path) = 0;

protected:
    ~RunList() = default;
};

// A system without a Run list: nothing reads, nothing is written.
RunList& NoRunList();

// The window over the core: its controls into the members and back, a text for the status
// line and the voice, one for the voice only, an error box, and the system's text for a code.
class CoreWindow {
public:
    virtual void ControlsToMembers() = 0;
    virtual void MembersToControls() = 0;
    virtual void Announce(const std::wstring& text) = 0;
    virtual void Speak(const std::wstring& text) = 0;
    virtual void ShowError(const std::wstring& text) = 0;
    virtual std::wstring SystemErrorText(std::uint32_t code) = 0;

protected:
    ~CoreWindow() = default;
};

// The ports the program's entry hands to its dialog.
struct CorePorts {
    HookLibrary& hooks;
    SettingsStore& store;
    TouchpadSwitch& touchpad;
    PolicySource& policy;
    // The program's entry always hands over the real one; a core built without it (the native
    // tests' short form) sees no Run list.
    RunList& runList = NoRunList();
};

} // namespace quelvant::core
