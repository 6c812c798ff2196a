// What the files of the hook library's Windows layer share, and who may touch what.
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
#include "HookChord.h"
#include "HookDecision.h"
#include "HookWatchdog.h"
#include "LockRequest.h"

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

LRESULT CALLBACK MouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept;

// ---- Requests: one call of an export, carried out on the hook thread ----

enum class HookKind : unsigned char { Mouse, Keyboard, Touchpad };

struct HookRequest {
    HookKind kind;
    WORD mouseFilter;          // GlobalDisableMouse: the filter word, 0 removes the mouse hook
    bool blockKeyboard;        // GlobalDisableKeyboard: bDisable, false removes the keyboard hook
    BOOL passInjected;         // bAllowInjected, for both hooks
    DWORD callerThread;        // whose windows hear of a restored hook
    bool touchpadOff = false;  // a touchpad request: hold it off, or give it back
    int result = 0;            // the export's result
    DWORD error = 0;           // the installing thread's error when result is 0
    bool lastHookGone = false; // no hook is left, so the hook thread ends after this request
    KeyboardWord keyboard{};   // GlobalDisableKeyboard: a lock or the chord's act, else Plain
    bool answerLater = false;  // a touchpad request whose switch waits: answered when it ends

    bool Removes() const noexcept {
        // A touchpad request always needs the thread: giving back may have to switch. Without a
        // thread there is no hook, so nothing to unlock or to let go.
        return kind == HookKind::Mouse              ? mouseFilter == 0
               : kind == HookKind::Touchpad         ? false
               : keyboard.act == KeyboardAct::Plain ? !blockKeyboard
                                                    : keyboard.act != KeyboardAct::Lock;
    }
};

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
// Posts the chord's news; touchpadError is why a held touchpad did not follow, else 0.
void TellChord(DWORD caller, bool released, DWORD touchpadError) noexcept;
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

// ---- The watchdog ----

// A message-only window that receives raw keyboard input even for keys the hook discards.
void CloseRawInputSink(HWND sink) noexcept;
using UniqueRawInputSink = UniqueHandle<HWND, CloseRawInputSink>;

// Notices a hook that the system dropped without a word (a procedure that once overran the
// platform's time-out, say): it installs a suspect anew, silently, and tells the caller only
// when removing the old hook proves that the system had removed it. Lives on the hook thread,
// ticked by a thread timer of its own, at the pace of NextPeriodMs.
class Watchdog {
public:
    Watchdog() noexcept;
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Forgets what was seen and ticks at the short pace: after a request, or after the thread
    // stood still.
    void Restart() noexcept;
    // The thread whose windows hear of a restored hook: the last caller of an export.
    void AnnounceTo(DWORD thread) noexcept { announceTo_ = thread; }
    // A message for the watchdog (raw input for its sink): true when it was one and has been
    // handled.
    bool Take(const MSG& msg) noexcept;
    void Tick() noexcept;
    // Ticks when a period has gone by since the last tick, whatever message brought the thread
    // round: a stream of raw input can hold the timer's WM_TIMER back for seconds.
    void TickIfDue() noexcept;

private:
    // Forgets the intervals but not what a re-install taught.
    void ForgetIntervals() noexcept;
    // Ticks every periodMs from now on; anew: the next tick a whole period from now even when
    // the pace stays.
    void Pace(DWORD periodMs, bool anew = false) noexcept;

    HookActivity recent_[3]{};
    WatchdogMemory memory_{};
    bool keyTyped_ = false;
    DWORD lastInput_ = 0;
    POINT lastPointer_{};
    bool pointerKnown_ = false; // lastPointer_ is a read since the last restart
    DWORD lastTick_ = 0;
    UINT_PTR timer_ = 0;
    DWORD periodMs_ = kActivePeriodMs;
    DWORD announceTo_ = 0;
    UINT restoredMessage_ = 0;
    UniqueRawInputSink sink_;
#ifdef QUELVANT_INSTALL_SEAM
    // Test builds only: kinds the next tick suspects whatever it saw, and who hears the outcome.
    WatchdogVerdict planned_{};
    DWORD plannedBy_ = 0;
    UINT seamMessage_ = 0;
#endif
};
