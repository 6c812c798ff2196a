// The two calls of Helper.dll. Quelvant imports them at link time under their decorated
// C++ names; only plain values and the caller's own error variable cross.
#pragma once

#include <windows.h>

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
HELPER_API int GlobalDisableKeyboard(BOOL bDisable, BOOL bAllowInjected);

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
#define HELPER_CHORD_RESTORED 0x0
#define HELPER_CHORD_RELEASED 0x1
