// The hook library's one state in the process, and who may touch what.
//
// The whole mutable state of the library lives in one object, g_HookManager. Ownership across
// threads, by field:
// - the hooks, filter and flags, the seen-marks and the chord belong to the hook thread while
//   it runs. While none runs, the exports (one at a time, under their lock) and the library
//   entry point may touch them: there is no hook then, so no procedure can run.
// - m_hookThread, the handle and id of that thread, belongs to the exports under their lock,
//   and to the library entry point, which runs when no export can.
// - m_unloading is the one field written on one thread and read on another (the unloading
//   thread and the hook thread): it is read and written with interlocked calls.
// - m_hModule is written once, by the entry point at attach, before anything else runs.
// Everything else a request needs travels inside the request.
#pragma once

#include <windows.h>

#include "Handle.h"
#include "HookDecision.h"
#include "ReleaseChord.h"

// The blocking a caller asked for, kept aside while a timed lock holds everything.
struct AskedBlocking {
    WORD mouseFilter = 0;
    bool blockKeys = false;
    BOOL passInjected = 0;
    bool released = false; // let go by the chord
};

// A timed lock: its end is kept here, on the hook thread, so that it comes on time whatever
// the caller's thread does.
struct TimedLockState {
    bool active = false;
    ULONGLONG deadline = 0;   // GetTickCount64
    UINT_PTR timer = 0;       // the hook thread's timer for the end
    DWORD announceTo = 0;     // the thread whose windows hear of the end
    AskedBlocking asked;      // in force again at the end
    bool touchpadOff = false; // the touchpad was on when the lock began: it goes back on at the end
};

struct HookRequest;

// Who hears how a switch of the touchpad ended: a caller waiting for its request, the chord's
// news, or nobody (a timed lock's switch).
struct TouchpadWaiter {
    HookRequest* request = nullptr;
    bool chord = false;
    bool released = false; // the chord's act
    DWORD caller = 0;      // whose windows hear of the chord
};

// A switch of the touchpad that waits for the user's own modifiers to be let go, served by the
// hook thread's loop meanwhile (ticked by a timer of its own), so that requests, the lock's end
// and the watchdog go on. One at a time: a later wish takes the place of a waiting one.
struct PendingTouchpadSwitch {
    bool waiting = false;
    bool on = false;
    ULONGLONG since = 0; // GetTickCount64 when the wait began
    UINT_PTR timer = 0;
    TouchpadWaiter waiter;
};

struct HookThreadHandle {
    UniqueKernelHandle thread;
    DWORD id = 0;
};

// The one state of the library in the process.
class CInputHookManager {
public:
    UniqueHook m_hMouseHook;
    UniqueHook m_hKeyboardHook;
    WORD m_wMouseFilter = 0;
    BOOL m_bPassInjected = 0;
    // The keyboard hook discards keys. Without it, it stays while the mouse hook does and only
    // watches for the release chord, so that the way out is there with every kind of blocking.
    bool m_bBlockKeys = false;
    // The program asked the library to hold the touchpad off: the keyboard hook stays, to
    // watch for the chord, which gives the touchpad back and takes it again.
    bool m_touchpadHeld = false;
    // The mark of the library's own simulated keys; drawn when the hook thread starts.
    std::uintptr_t m_ownInputMark = 0;
    // The keys of the library's own SendInput call while it runs; only these carry the mark.
    OwnKeysInFlight m_ownKeys;
    PendingTouchpadSwitch m_touchpadSwitch;

    // Set by the hook procedures, gathered and cleared by the watchdog: one store per event.
    bool m_bMouseSeen = false;
    bool m_bKeySeen = false;

    // The release chord: while released, both hooks let everything through. The keyboard
    // procedure toggles it; the hook thread tells the caller's windows after the call; the next
    // request ends a release.
    ChordState m_chord;

    // The timed lock: while active, the fields above hold everything blocked and requests
    // change only what comes back at its end.
    TimedLockState m_lock;

    HookThreadHandle m_hookThread;
    SRWLOCK m_exportLock = SRWLOCK_INIT; // exports may come from more than one thread
    volatile LONG m_unloading = 0;
    HMODULE m_hModule = nullptr; // the library's own module, for SetWindowsHookExW

    // The keyboard hook is needed: to block keys, or only to watch for the chord while the
    // mouse or the touchpad is held.
    bool WantsKeyboardHook() const noexcept {
        return m_bBlockKeys || static_cast<bool>(m_hMouseHook) || m_touchpadHeld;
    }

    KeyboardMode KeyMode() const noexcept {
        return !m_bBlockKeys      ? KeyboardMode::Watching
               : m_chord.released ? KeyboardMode::Released
                                  : KeyboardMode::Blocking;
    }
};

extern CInputHookManager g_HookManager;
