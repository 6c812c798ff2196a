// Calls a function that may end in a structured exception, as the RPC stubs that widl
// generates do when a call fails (no server behind the name, a broken connection). g++ cannot
// catch those with try, so the call goes through a small frame of our own whose handler ends
// the exception there, the way an RpcExcept block would.
#pragma once

#include <windows.h>

namespace quelvant::ui {

struct GuardedResult {
    bool raised;         // a structured exception ended the call
    unsigned long value; // the function's result, or the exception's code
};

// Calls fn(first, second). Exceptions that no RPC caller may swallow (access violations, stack
// overflow and the like) are not caught: they go on to the process's own handling.
GuardedResult GuardedCall(void* fn, void* first, void* second) noexcept;

// Whether an exception with this code is one that must not be caught.
bool IsFatalException(DWORD code) noexcept;

} // namespace quelvant::ui
