// The timed lock: everything blocked until a deadline that the hook thread keeps itself, so
// that the lock ends on time while the caller's thread stands still; and the chord's act when
// a caller asks for it.
#include "Helper.h"
#include "HookLibrary.h"

#include <utility>

namespace {

constexpr WORD kEveryMouseKind = MOUSE_FILTER_LEFT | MOUSE_FILTER_RIGHT | MOUSE_FILTER_MIDDLE |
                                 MOUSE_FILTER_MOVE | MOUSE_FILTER_WHEEL;

void ArmTimer(TimedLockState& lock) noexcept {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = lock.deadline > now ? lock.deadline - now : 0;
    if (lock.timer != 0) {
        KillTimer(nullptr, lock.timer);
    }
    lock.timer =
        SetTimer(nullptr, 0,
                 static_cast<UINT>(left < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : left), nullptr);
}

} // namespace

void StartLock(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    TimedLockState& lock = state.m_lock;
    if (!lock.active) {
        // Hooks are added only where none is in force; a failure takes back what was added,
        // so that what was in force stays.
        const bool hadMouse = static_cast<bool>(state.m_hMouseHook);
        const bool hadKeyboard = static_cast<bool>(state.m_hKeyboardHook);
        if (!hadMouse && !ReplaceHook(HookKind::Mouse, request.error)) {
            return;
        }
        if (!hadKeyboard && !ReplaceHook(HookKind::Keyboard, request.error)) {
            if (!hadMouse) {
                state.m_hMouseHook.Reset();
            }
            return;
        }
        lock.asked = {state.m_wMouseFilter, state.m_bBlockKeys, state.m_bPassInjected,
                      state.m_chord.released};
        state.m_wMouseFilter = kEveryMouseKind;
        state.m_bBlockKeys = true;
        state.m_bPassInjected = FALSE; // a lock is for every hand, a program's too
        state.m_chord.released = false;
        state.m_chord.locked = true;
        lock.active = true;
        lock.announceTo = request.callerThread;
        MessageBeep(MB_ICONEXCLAMATION); // the chord's "blocked" sound
        // The touchpad too, where it can be switched; the hooks serve input meanwhile.
        lock.touchpadOff = TouchpadOffForLock();
    }
    lock.deadline = GetTickCount64() + static_cast<ULONGLONG>(request.keyboard.seconds) * 1000;
    ArmTimer(lock);
    request.result = 1;
}

void EndLock(LockEnd why) noexcept {
    CInputHookManager& state = g_HookManager;
    TimedLockState& lock = state.m_lock;
    if (!lock.active) {
        return;
    }
    if (lock.timer != 0) {
        KillTimer(nullptr, lock.timer);
        lock.timer = 0;
    }
    lock.active = false;
    state.m_chord.locked = false;
    state.m_chord.endsLock = false;
    state.m_chord.toggled = false;
    state.m_wMouseFilter = lock.asked.mouseFilter;
    state.m_bBlockKeys = lock.asked.blockKeys;
    state.m_bPassInjected = lock.asked.passInjected;
    state.m_chord.released = lock.asked.released;
    if (state.m_wMouseFilter == 0) {
        state.m_hMouseHook.Reset();
    }
    if (!state.WantsKeyboardHook()) {
        state.m_hKeyboardHook.Reset();
    }
    MessageBeep(MB_ICONASTERISK); // the chord's "released" sound
    if (std::exchange(lock.touchpadOff, false)) {
        TouchpadBackAfterLock();
    }
    if (why != LockEnd::Asked) {
        static const UINT message = RegisterWindowMessageW(HELPER_LOCK_MESSAGE);
        PostToThreadWindows(lock.announceTo, message,
                            why == LockEnd::Time ? HELPER_LOCK_ENDED_BY_TIME
                                                 : HELPER_LOCK_ENDED_BY_CHORD);
    }
}

bool KeepForAfterLock(HookRequest& request) noexcept {
    TimedLockState& lock = g_HookManager.m_lock;
    if (!lock.active) {
        return false;
    }
    if (request.kind == HookKind::Mouse) {
        lock.asked.mouseFilter = request.mouseFilter;
    } else {
        lock.asked.blockKeys = request.blockKeyboard;
    }
    lock.asked.passInjected = request.passInjected;
    lock.asked.released = false; // any change the user makes ends a release
    request.result = 1;
    return true;
}

void EndLockIfDue() noexcept {
    const TimedLockState& lock = g_HookManager.m_lock;
    if (lock.active && GetTickCount64() >= lock.deadline) {
        EndLock(LockEnd::Time);
    }
}

bool LockTimerFired(UINT_PTR timer) noexcept {
    TimedLockState& lock = g_HookManager.m_lock;
    const bool own = lock.active && timer == lock.timer;
    // Any tick of this thread ends a lock that is due: should the lock's own timer be lost,
    // the watchdog's still ends it.
    if (lock.active && GetTickCount64() >= lock.deadline) {
        EndLock(LockEnd::Time);
    } else if (own) {
        ArmTimer(lock); // early by the timer's grain: the rest
    }
    return own;
}
