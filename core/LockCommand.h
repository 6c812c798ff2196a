// The command line's lock commands: their grammar, the seconds they allow, and the exit codes of
// a start that carries one. Platform-free, fuzzed and tested natively.
#pragma once

#include <cstdint>
#include <string_view>

namespace quelvant::core {

inline constexpr std::uint32_t kLockMinSeconds = 5;
inline constexpr std::uint32_t kLockMaxSeconds = 3600;

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

} // namespace quelvant::core
