// Carrying out one call of an export on the hook thread: hooks installed new before old.
#include "HookLibrary.h"

#ifdef QUELVANT_INSTALL_SEAM
// Test builds only: the next install fails with the error a test planned. Written by the
// test's thread, read here on the hook thread.
volatile LONG g_plannedInstallError = 0;

extern "C" __declspec(dllexport) void HelperFailNextInstall(DWORD error) noexcept {
    InterlockedExchange(&g_plannedInstallError, static_cast<LONG>(error));
}
#endif

bool StickyKeysOn() noexcept {
    STICKYKEYS sticky{sizeof sticky, 0};
    return SystemParametersInfoW(SPI_GETSTICKYKEYS, sizeof sticky, &sticky, 0) &&
           (sticky.dwFlags & SKF_STICKYKEYSON) != 0;
}

bool ReplaceHook(HookKind kind, DWORD& error, DWORD* unhookError) noexcept {
#ifdef QUELVANT_INSTALL_SEAM
    if (const LONG planned = InterlockedExchange(&g_plannedInstallError, 0); planned != 0) {
        error = static_cast<DWORD>(planned);
        return false;
    }
#endif
    CInputHookManager& state = g_HookManager;
    const bool mouse = kind == HookKind::Mouse;
    const HHOOK fresh =
        SetWindowsHookExW(mouse ? WH_MOUSE_LL : WH_KEYBOARD_LL,
                          mouse ? MouseHookProc : KeyboardHookProc, state.m_hModule, 0);
    if (fresh == nullptr) {
        error = GetLastError();
        return false;
    }
    if (!mouse) {
        state.m_chord.record.Clear(); // releases may have gone by unseen
        state.m_chord.record.SetStickyKeys(StickyKeysOn());
    }
    // The old hook goes only now, so that no event slips through in between.
    const HHOOK old = (mouse ? state.m_hMouseHook : state.m_hKeyboardHook).Release();
    (mouse ? state.m_hMouseHook : state.m_hKeyboardHook).Reset(fresh);
    const bool removed = old == nullptr || UnhookWindowsHookEx(old);
    if (unhookError != nullptr) {
        *unhookError = removed ? 0 : GetLastError();
    }
    return true;
}

namespace {

void ApplyMouse(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    if (request.mouseFilter == 0) {
        state.m_hMouseHook.Reset();
        state.m_wMouseFilter = 0;
        state.m_bPassInjected = request.passInjected;
        if (!state.WantsKeyboardHook()) {
            state.m_hKeyboardHook.Reset(); // it only watched for the chord
        }
        request.result = 1;
        return;
    }
    if (!ReplaceHook(HookKind::Mouse, request.error)) {
        return;
    }
    // Filter and flag change with the hook, so a failed call leaves all three as they were.
    state.m_wMouseFilter = request.mouseFilter;
    state.m_bPassInjected = request.passInjected;
    request.result = 1;
    if (!state.m_hKeyboardHook) {
        // The way out with mouse-only blocking. Should it fail, the mouse blocking holds all
        // the same, the keyboard stays free, and the watchdog tries again at its next tick.
        DWORD ignored = 0;
        ReplaceHook(HookKind::Keyboard, ignored);
    }
}

void ApplyKeyboard(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    if (!request.blockKeyboard) {
        state.m_bBlockKeys = false;
        state.m_bPassInjected = request.passInjected;
        if (!state.WantsKeyboardHook()) {
            state.m_hKeyboardHook.Reset();
        } // else it stays, and only watches for the chord from now on
        request.result = 1;
        return;
    }
    if (ReplaceHook(HookKind::Keyboard, request.error)) {
        state.m_bBlockKeys = true;
        state.m_bPassInjected = request.passInjected;
        request.result = 1;
    }
}

// What the chord does, asked for by the caller: told back as the chord is, with its sound.
// While a lock holds, letting go ends the lock, as the chord does then.
void ActAsChord(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    const bool release = request.keyboard.act == KeyboardAct::Release;
    request.result = 1;
    if (state.m_lock.active) {
        if (release) {
            EndLock(LockEnd::Asked);
        }
        return;
    }
    if (state.WantsKeyboardHook()) { // anything blocked or held to let go of
        if (state.m_chord.released != release) {
            state.m_chord.released = release;
            state.m_chord.toggled = true;
        }
    }
}

} // namespace

void ApplyRequest(HookRequest& request) noexcept {
    if (request.kind == HookKind::Touchpad) {
        ApplyTouchpadRequest(request); // the touchpad alone: a release by the chord stays
        return;
    }
    switch (request.keyboard.act) {
    case KeyboardAct::Lock:
        StartLock(request);
        return;
    case KeyboardAct::Unlock:
        EndLock(LockEnd::Asked);
        request.result = 1;
        return;
    case KeyboardAct::Release:
    case KeyboardAct::Restore:
        ActAsChord(request);
        return;
    case KeyboardAct::Plain:
        break;
    }
    if (KeepForAfterLock(request)) {
        return;
    }
    // Any change the user makes ends a release by the chord, and applies as asked.
    g_HookManager.m_chord.released = false;
    if (request.kind == HookKind::Mouse) {
        ApplyMouse(request);
    } else {
        ApplyKeyboard(request);
    }
}
