// What the files of the hook library's Windows layer share: the one state (CInputHookManager.h),
// a request (HookRequest.h), the watchdog (Watchdog.h), and the calls between the files.
#pragma once

#include <windows.h>

#include "CInputHookManager.h"
#include "HookRequest.h"
#include "Watchdog.h"

LRESULT CALLBACK MouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept;

// ---- Requests, carried out on the hook thread ----

// Installs a hook of the kind before the one in force goes, so that no event slips through
// in between. On failure the hook in force stays; the error is the installing thread's.
// unhookError, when given, gets the error of removing the old hook (0 when it went, or when
// there was none).
bool ReplaceHook(HookKind kind, DWORD& error, DWORD* unhookError = nullptr) noexcept;

// The system's Sticky Keys setting, for the chord: read when the keyboard hook is installed and
// at each tick of the watchdog.
bool StickyKeysOn() noexcept;

// Carries out one request on the state: a failed install leaves hook, filter and flag as they
// were, so that what the caller reloads after a failure is what is in force.
void ApplyRequest(HookRequest& request) noexcept;

// ---- The touchpad (TouchpadToggle.cpp), on the hook thread ----

// Carries out a touchpad request: the keyboard hook's watch for the chord, and the switch. When
// the switch waits for the user's modifiers, the request is marked to be answered later.
void ApplyTouchpadRequest(HookRequest& request) noexcept;
// The chord released (or restored) all blocking: a touchpad the library holds follows, and the
// chord's news is told once it has (TellChord).
void TouchpadFollowsChord(bool released, DWORD caller) noexcept;
// A lock switches a touchpad that is on off, and says whether it was on; at the lock's end it
// comes back on unless the program's own choice holds it off.
bool TouchpadOffForLock() noexcept;
void TouchpadBackAfterLock() noexcept;
// A thread timer fired: true when it was the waiting switch's, which then looks again.
bool TouchpadTimerFired(UINT_PTR timer) noexcept;
// A switch waits: the thread stays for it even with no hook left.
bool TouchpadSwitchWaits() noexcept;

// Hands a request to the hook thread (starting it when none runs) and waits for its outcome.
void CallOnHookThread(HookRequest& request) noexcept;

// ---- The timed lock (HookLock.cpp), on the hook thread ----

enum class LockEnd : unsigned char { Asked, Time, Chord };

// Starts a lock (or sets a new end for the one in force): both hooks, everything blocked.
void StartLock(HookRequest& request) noexcept;
// Ends a lock in force: what was asked comes back, the end sounds, and the windows of the
// lock's caller hear of an end they did not ask for.
void EndLock(LockEnd why) noexcept;
// A request that arrives during a lock: kept for its end. False when no lock is in force.
bool KeepForAfterLock(HookRequest& request) noexcept;
// A thread timer fired: ends a lock that is due; true when it was the lock's own timer.
bool LockTimerFired(UINT_PTR timer) noexcept;
// Ends a lock whose time has come, whatever message brought the thread round.
void EndLockIfDue() noexcept;

// ---- The hook thread ----

// Thread message that asks the hook thread to leave for an unload. lParam: the event that it
// signals once parked.
constexpr UINT kAskToLeaveMessage = WM_APP + 2;
// Thread message that the keyboard procedure posts to its own thread when the chord acted, so
// that the loop wakes to tell of it at once.
constexpr UINT kChordActedMessage = WM_APP + 3;

// The hook thread's side of the unload hand-shake (in Exports.cpp, beside the other side).
[[noreturn]] void ParkForUnload(HANDLE parked) noexcept;

// Posts a message to every window of a thread: it must reach the dialog also while a modal loop
// runs there, where thread messages are lost.
void PostToThreadWindows(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam = 0) noexcept;
// Posts the chord's news; touchpadError is why a held touchpad did not follow, else 0.
void TellChord(DWORD caller, bool released, DWORD touchpadError) noexcept;
