// Everything the core calls out to, in one place: the hook library, the per-user settings
// store, the administrator's policy, the system's touchpad reading, the user's Run list, the
// program's texts and the window over the core.
// The real adapters live in adapters/ (and the window in ui/); the native tests fake each one.
#pragma once

#include "SettingsPolicy.h"
#include "SettingsTable.h"
#include "StoredSettingValue.h"
#include "TextFormat.h"
#include "TextTable.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quelvant::core {

// What one call of the hook library did: in force as asked, or not, with the system's error
// code where the library gives one (else 0).
struct HookResult {
    bool done = false;
    std::uint32_t error = 0;
};

// The keys in a call that sets the mouse: all blocked, all passed, or the keyboard left as it is.
enum class KeysChoice : std::uint8_t { Unchanged, Pass, Block };

struct BlockResult {
    HookResult mouse;
    HookResult keys; // not tried when the mouse failed; done when asked to stay unchanged
};

// The hook library, one call for each thing the core asks of it.
class HookPort {
public:
    // The mouse kinds in mouseFilter discarded (0: none), then the keys as asked, with simulated
    // input let through when allowSimulated. A failed mouse leaves the keyboard as it is; a
    // failed hook leaves the former one in force. Ends a release by the chord.
    virtual BlockResult Block(std::uint16_t mouseFilter, KeysChoice keys, bool allowSimulated) = 0;
    // Every key and mouse kind blocked, simulated input too, for 1 to 65535 seconds, ended by the
    // library on time or by the chord; a lock in force gets a new end.
    virtual HookResult Lock(std::uint32_t seconds) = 0;
    // Ends a lock in force now, without a message.
    virtual HookResult Unlock() = 0;
    // What the release chord does, asked for: lets go of all blocking or brings it back.
    virtual HookResult ChordAct(bool release) = 0;
    // The precision touchpad switched off and held so, or let go and switched on; nothing is
    // sent when it reads as asked already. Done once it reads as asked; else the system's error.
    virtual HookResult HoldTouchpad(bool hold) = 0;

protected:
    ~HookPort() = default;
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

// The system's precision touchpad as it reads now; false with the system's error code when it
// cannot be read. It is switched through the hook library (HookPort::HoldTouchpad).
class TouchpadReader {
public:
    virtual bool Read(TouchpadReading& reading, std::uint32_t& error) = 0;

protected:
    ~TouchpadReader() = default;
};

// A system without a precision touchpad: every read fails, as under Wine.
TouchpadReader& NoTouchpad();

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

// The program's texts in the language it shows (the system's choice): each by its id, with its
// variable parts filled. A text the resources lack comes back empty.
class TextSource {
public:
    virtual std::wstring Text(TextId id) = 0;
    std::wstring Fill(TextId id, std::initializer_list<std::wstring_view> args) {
        return FillText(Text(id), args);
    }

protected:
    ~TextSource() = default;
};

// The window over the core: the core's view put on the controls now (where the user must see
// it before what follows, such as an error box), a text for the status line and the voice, one
// for the voice only, an error box, and the system's text for a code; and the texts it shows.
class CoreWindow : public TextSource {
public:
    virtual void ShowView() = 0;
    virtual void Announce(const std::wstring& text) = 0;
    virtual void Speak(const std::wstring& text) = 0;
    virtual void ShowError(const std::wstring& text) = 0;
    virtual std::wstring SystemErrorText(std::uint32_t code) = 0;

protected:
    ~CoreWindow() = default;
};

// The ports the program's entry hands to its dialog.
struct CorePorts {
    HookPort& hooks;
    SettingsStore& store;
    TouchpadReader& touchpad;
    PolicySource& policy;
    // The program's entry always hands over the real one; a core built without it (the native
    // tests' short form) sees no Run list.
    RunList& runList = NoRunList();
};

} // namespace quelvant::core
