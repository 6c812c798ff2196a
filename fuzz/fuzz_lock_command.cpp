// The lock's command-line words over any command line: a lock always names an allowed number
// of seconds and reads the same when written out again; a line without a switch is no command,
// so that "<RESET>" and ":silent" keep their meaning; nothing but a lock carries seconds.
//
// Input: the command line in UTF-16.
#include "FuzzInput.h"
#include "LockCommand.h"

using namespace quelvant::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::wstring line = UnitsOf(in.Rest());
    const LockCommand command = ParseLockCommand(line);
    if (command.kind == LockCommandKind::Lock) {
        FUZZ_REQUIRE(command.seconds >= kLockMinSeconds && command.seconds <= kLockMaxSeconds);
        const LockCommand again = ParseLockCommand(L"/lock " + std::to_wstring(command.seconds));
        FUZZ_REQUIRE(again == command);
    } else {
        FUZZ_REQUIRE(command.seconds == 0);
    }
    if (line.find(L'/') == std::wstring::npos) {
        FUZZ_REQUIRE(command.kind == LockCommandKind::None);
    }
    // One more word never makes a command good.
    if (command.kind != LockCommandKind::None) {
        FUZZ_REQUIRE(ParseLockCommand(line + L" x").kind == LockCommandKind::Bad);
    }
    return 0;
}
