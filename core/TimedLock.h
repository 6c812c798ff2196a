// The lock for cleaning: every key and every mouse kind blocked for a set time, started from
// the notification icon's menu or the command line, ended by the hook library on time (or by
// the chord) whatever the dialog's thread does. The user's boxes and store are left as they
// are; what they change meanwhile waits for the end. Platform-free, with the command line's
// words and the texts the user sees.
#pragma once

#include "BlockingControl.h"
#include "Ports.h"
#include "StoredSettings.h"
#include "TouchpadKeeper.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quelvant::core {

inline constexpr std::uint32_t kLockMinSeconds = 5;
inline constexpr std::uint32_t kLockMaxSeconds = 3600;
// The lengths the notification icon's menu offers.
inline constexpr std::uint32_t kLockMenuSeconds[] = {60, 300, 900};

// The policy-only value that lets an administrator forbid the lock (REG_DWORD 0 or 1, default 1).
inline constexpr const wchar_t* kAllowTimedLockValue = L"m_bAllowTimedLock";

// How a start with a lock command ends.
enum LockExitCode : int {
    kLockExitDone = 0,      // done here, or handed to the running instance
    kLockExitNoAnswer = 1,  // the running instance did not take it
    kLockExitUsage = 2,     // a bad word or a number out of range: nothing changed
    kLockExitForbidden = 3, // the administrator's policy forbids the lock
};

enum class LockCommandKind { None, Lock, Unlock, Bad };

struct LockCommand {
    LockCommandKind kind = LockCommandKind::None;
    std::uint32_t seconds = 0;
    bool operator==(const LockCommand&) const = default;
};

// The command line as a lock command. It is one when any word begins with '/': then it must be
// "/lock SECONDS" (digits only, kLockMinSeconds to kLockMaxSeconds) or "/unlock", the switch
// in any case, words apart by blanks or tabs, nothing else. A line without such a word (empty,
// "<RESET>", ":silent") is no lock command and keeps its meaning.
LockCommand ParseLockCommand(std::wstring_view commandLine);

// What a second start hands to the running instance (as WM_COPYDATA): a tag and the command,
// read there as untrusted bytes from another process.
inline constexpr std::uintptr_t kLockHandOverTag = 0x514C434B; // "QLCK"
struct LockHandOver {
    std::uint32_t kind;    // 1 lock, 2 unlock
    std::uint32_t seconds; // for a lock
};
LockHandOver ToHandOver(const LockCommand& command);
// Bad unless the tag, the size and the values are exactly those of a lock or an unlock.
LockCommand FromHandOver(std::uintptr_t tag, const void* data, std::size_t size);

inline constexpr const wchar_t* kLockUsageText =
    L"Usage:\n"
    L"  Quelvant.exe /lock SECONDS\tblocks every key and the mouse for 5 to 3600 seconds\n"
    L"  Quelvant.exe /unlock\tends that lock now\n\n"
    L"Ctrl+Alt+Shift+Q ends a lock at once.";
inline constexpr const wchar_t* kLockForbiddenText =
    L"Your administrator does not allow the lock for cleaning on this computer.";
inline constexpr const wchar_t* kLockErrorText = L"Could not Lock for Cleaning.";
inline constexpr const wchar_t* kLockEndedText = L"Lock for Cleaning Ended";

// "Locked for cleaning: 0:42 left. Ctrl+Alt+Shift+Q ends it now.", the time left in whole
// seconds rounded up, as minutes and seconds.
std::wstring LockCountdownText(std::uint64_t millisecondsLeft);

class TimedLock {
public:
    TimedLock(HookPort& hooks, BlockingControl& blocking, StoredSettings& settings,
              TouchpadKeeper& touchpad, CoreWindow& window) noexcept
        : m_hooks(hooks), m_blocking(blocking), m_settings(settings), m_touchpad(touchpad),
          m_window(window) {}
    TimedLock(const TimedLock&) = delete;
    TimedLock& operator=(const TimedLock&) = delete;

    enum class Start { Started, Forbidden, Failed };
    // Starts a lock of that many seconds (clamped to the allowed range), or gives one in force
    // a new end. Told once; the window counts down by itself.
    Start Begin(std::uint32_t seconds);
    // The library ended the lock by itself (time, chord): what waited is applied.
    void Ended();
    // Ends a lock in force now.
    void End();

    bool Active() const noexcept { return m_active; }
    bool Allowed() const { return m_settings.Policy().allowTimedLock; }

private:
    HookPort& m_hooks;
    BlockingControl& m_blocking;
    StoredSettings& m_settings;
    TouchpadKeeper& m_touchpad;
    CoreWindow& m_window;
    bool m_active = false;
    bool m_touchpadRemembered = false; // the lock's switch of the touchpad is remembered as ours
};

} // namespace quelvant::core
