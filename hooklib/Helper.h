// The two calls of Helper.dll. Quelvant imports them at link time under their decorated
// C++ names; only plain values and the caller's own error variable cross.
#pragma once

#include <windows.h>

#include "LockRequest.h"

#ifdef HELPER_BUILDING_DLL
#define HELPER_API __declspec(dllexport)
#else
#define HELPER_API __declspec(dllimport)
#endif

// Replaces the mouse hook by one that discards the kinds named in wFilter (0 only removes).
// Returns 1 when that state is in force; 0 with the platform's error in dwLastError when the
// hook could not be installed.
HELPER_API int GlobalDisableMouse(WORD wFilter, DWORD& dwLastError, BOOL bAllowInjected);

// Replaces the keyboard hook by one that discards every key (bDisable 0 only removes).
// Returns 1 when that state is in force, 0 when the hook could not be installed.
//
// With HELPER_TOUCHPAD_REQUEST in bDisable the call is about the precision touchpad alone and
// leaves the keys, the mouse and a release by the chord as they are (bAllowInjected is not
// read). With HELPER_TOUCHPAD_HOLD_OFF also set, the library switches the touchpad off unless
// it is off already, and holds it: while held, the release chord is watched whatever else is
// blocked, gives the touchpad back and takes it again, on the library's own thread. Without
// that bit it lets go of it and switches it on unless it is on already. The switch is the
// system's own toggle, Ctrl+Win+F24 sent once, marked as the library's own, once the user's own
// Ctrl, Alt, Shift and Win are up (the call waits for them). Returns 1 once the touchpad reads
// as asked, 0 with the calling thread's last error set when it does not within about a second
// (ERROR_NOT_SUPPORTED), when the keys stayed down for over 30 s (ERROR_TIMEOUT), when
// SendInput refused without an error, as user-interface privilege isolation does
// (ERROR_ELEVATION_REQUIRED), or when it cannot be read or switched.
//
// bDisable may instead carry one of two requests (LockRequest.h), bAllowInjected then unused:
// - HELPER_KEYBOARD_LOCK | seconds (1 to 65535): a timed lock. Both hooks discard every key
//   and every mouse kind, simulated input included, until the library's own thread sees the
//   time run out or the user press the release chord; then the blocking asked before and
//   during the lock is back in force and HELPER_LOCK_MESSAGE tells the caller's windows. Calls
//   of either export meanwhile change only what comes back. A lock in force gets a new end.
//   With 0 seconds: the lock ends now (no message). Returns 0 with nothing changed when a
//   hook could not be installed.
// - HELPER_KEYBOARD_CHORD | 1 or | 0: what the release chord does, asked for: lets go of all
//   blocking or brings it back, told as the chord is (HELPER_CHORD_MESSAGE and its sound).
//   During a lock, letting go ends the lock. With nothing blocked it does nothing.
HELPER_API int GlobalDisableKeyboard(BOOL bDisable, BOOL bAllowInjected);
#define HELPER_TOUCHPAD_REQUEST 0x100
#define HELPER_TOUCHPAD_HOLD_OFF 0x200
// The library's own simulated keys carry in their extra information a mark drawn at random
// for the process; with it and the injected flag a key passes the library's hooks in every
// state, and counts for no chord. No other program can know it.

// Registered window message (RegisterWindowMessageW) that the library posts to the windows of
// the thread that last called an export when it found a hook dropped by the system and
// installed it anew. wParam: HELPER_RESTORED_MOUSE and/or HELPER_RESTORED_KEYBOARD.
#define HELPER_RESTORED_MESSAGE L"Quelvant.HookRestored"
#define HELPER_RESTORED_MOUSE 0x1
#define HELPER_RESTORED_KEYBOARD 0x2

// Registered window message that the library posts to the same windows when the user's release
// chord, Ctrl+Alt+Shift+Q, was pressed while the keyboard hook was in force. wParam:
// HELPER_CHORD_RELEASED when all blocking was let go, HELPER_CHORD_RESTORED when it came back.
// The next call of either export ends a release.
#define HELPER_CHORD_MESSAGE L"Quelvant.ReleaseChord"
// Added to either: the library held the touchpad and could not switch it as the chord asked;
// lParam then carries the error (ERROR_NOT_SUPPORTED for a toggle the system did not take).
#define HELPER_CHORD_RESTORED 0x0
#define HELPER_CHORD_RELEASED 0x1
#define HELPER_CHORD_TOUCHPAD_FAILED 0x2

// Registered window message that the library posts to the windows of the thread that started
// a timed lock when the lock ended by itself. wParam: why.
#define HELPER_LOCK_MESSAGE L"Quelvant.TimedLock"
#define HELPER_LOCK_ENDED_BY_TIME 0x1
#define HELPER_LOCK_ENDED_BY_CHORD 0x2
