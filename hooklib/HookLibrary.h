// What the files of the hook library's Windows layer share, and who may touch what.
//
// Ownership across threads:
// - g_HookManager, the seen-marks, the release chord's record and state, and the watchdog
//   belong to the hook thread while it runs.
//   While none runs, the exports (one at a time, under their lock) and the library entry point
//   may touch them: there is no hook then, so no procedure can run.
// - g_hookThread, the handle and id of that thread, belongs to the exports under their lock,
//   and to the library entry point, which runs when no export can.
// - g_unloading is the one field written on one thread and read on another (the unloading
//   thread and the hook thread): it is read and written with interlocked calls.
// Everything else a request needs travels inside the request.
#pragma once

#include <windows.h>

#include "Handle.h"
#include "HookChord.h"
#include "HookWatchdog.h"

extern HMODULE g_hModule;

// The one hook state of the process.
class CInputHookManager {
public:
    UniqueHook m_hMouseHook;
    UniqueHook m_hKeyboardHook;
    WORD m_wMouseFilter = 0;
    BOOL m_bPassInjected = 0;
};

extern CInputHookManager g_HookManager;

// Set by the hook procedures, gathered and cleared by the watchdog: one store per event.
extern bool g_mouseSeen;
extern bool g_keySeen;

// The release chord: while released, both hooks let everything through. The keyboard
// procedure toggles it and marks the change; the hook thread tells the caller's windows after
// the call; the next request ends a release.
extern ReleaseChord g_releaseChord;
extern bool g_released;
extern bool g_releaseToggled;

LRESULT CALLBACK MouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept;

// ---- Requests: one call of an export, carried out on the hook thread ----

enum class HookKind : unsigned char { Mouse, Keyboard };

struct HookRequest {
    HookKind kind;
    WORD mouseFilter;          // GlobalDisableMouse: the filter word, 0 removes the mouse hook
    bool blockKeyboard;        // GlobalDisableKeyboard: bDisable, false removes the keyboard hook
    BOOL passInjected;         // bAllowInjected, for both hooks
    DWORD callerThread;        // whose windows hear of a restored hook
    int result = 0;            // the export's result
    DWORD error = 0;           // the installing thread's error when result is 0
    bool lastHookGone = false; // no hook is left, so the hook thread ends after this request

    bool Removes() const noexcept {
        return kind == HookKind::Mouse ? mouseFilter == 0 : !blockKeyboard;
    }
};

// Installs a hook of the kind before the one in force goes, so that no event slips through
// in between. On failure the hook in force stays; the error is the installing thread's.
bool ReplaceHook(HookKind kind, DWORD& error) noexcept;

// Carries out one request on the state: a failed install leaves hook, filter and flag as they
// were, so that what the caller reloads after a failure is what is in force.
void ApplyRequest(HookRequest& request) noexcept;

// Hands a request to the hook thread (starting it when none runs) and waits for its outcome.
void CallOnHookThread(HookRequest& request) noexcept;

// ---- The hook thread ----

struct HookThreadHandle {
    UniqueKernelHandle thread;
    DWORD id = 0;
};
extern HookThreadHandle g_hookThread;
extern volatile LONG g_unloading;

// Thread message that asks the hook thread to leave for an unload. lParam: the event that it
// signals once parked.
constexpr UINT kAskToLeaveMessage = WM_APP + 2;

// The hook thread's side of the unload hand-shake (in Exports.cpp, beside the other side).
[[noreturn]] void ParkForUnload(HANDLE parked) noexcept;

// Posts a message to every window of a thread: it must reach the dialog also while a modal loop
// runs there, where thread messages are lost.
void PostToThreadWindows(DWORD thread, UINT message, WPARAM wParam) noexcept;

// ---- The watchdog ----

// A message-only window that receives raw keyboard input even for keys the hook discards.
void CloseRawInputSink(HWND sink) noexcept;
using UniqueRawInputSink = UniqueHandle<HWND, CloseRawInputSink>;

// Notices a hook that the system dropped without a word (a procedure that once overran the
// platform's time-out, say) and installs it anew. Lives on the hook thread.
class Watchdog {
public:
    static constexpr DWORD kPeriodMs = 250; // one interval

    Watchdog() noexcept;

    // Forgets what was seen: after a request, or after the thread stood still.
    void Restart() noexcept;
    // The thread whose windows hear of a restored hook: the last caller of an export.
    void AnnounceTo(DWORD thread) noexcept { announceTo_ = thread; }
    // A message for the raw-input sink: true when it was one and has been handled.
    bool TakeRawInput(const MSG& msg) noexcept;
    // Milliseconds until the next tick is due.
    DWORD Due() const noexcept;
    void Tick() noexcept;

private:
    // Forgets the intervals but not what a re-install taught.
    void ForgetIntervals() noexcept;
    // Where the input that passed may have gone instead of to a hook.
    HookReach LookWhereInputWent() const noexcept;

    HookActivity recent_[3]{};
    WatchdogMemory memory_{};
    bool keyTyped_ = false;
    DWORD lastInput_ = 0;
    POINT lastPointer_{};
    DWORD lastTick_ = 0;
    DWORD ownIntegrity_ = 0; // mandatory integrity level of this process
    bool uiAccess_ = false;  // this process may reach windows of higher integrity
    DWORD announceTo_ = 0;
    UINT restoredMessage_ = 0;
    UniqueRawInputSink sink_;
};
