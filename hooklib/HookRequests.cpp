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

bool ReplaceHook(HookKind kind, DWORD& error) noexcept {
#ifdef QUELVANT_INSTALL_SEAM
    if (const LONG planned = InterlockedExchange(&g_plannedInstallError, 0); planned != 0) {
        error = static_cast<DWORD>(planned);
        return false;
    }
#endif
    const bool mouse = kind == HookKind::Mouse;
    const HHOOK fresh = SetWindowsHookExW(mouse ? WH_MOUSE_LL : WH_KEYBOARD_LL,
                                          mouse ? MouseHookProc : KeyboardHookProc, g_hModule, 0);
    if (fresh == nullptr) {
        error = GetLastError();
        return false;
    }
    // The old hook goes only now, so that no event slips through in between.
    (mouse ? g_HookManager.m_hMouseHook : g_HookManager.m_hKeyboardHook).Reset(fresh);
    if (!mouse) {
        g_releaseChord.Clear(); // releases may have gone by unseen
    }
    return true;
}

void ApplyRequest(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    const bool mouse = request.kind == HookKind::Mouse;
    // Any change the user makes ends a release by the chord, and applies as asked.
    g_released = false;
    if (request.Removes()) {
        (mouse ? state.m_hMouseHook : state.m_hKeyboardHook).Reset();
        if (mouse) {
            state.m_wMouseFilter = 0;
        }
        state.m_bPassInjected = request.passInjected;
        request.result = 1;
        return;
    }
    if (ReplaceHook(request.kind, request.error)) {
        // Filter and flag change with the hook, so a failed call leaves all three as they were.
        if (mouse) {
            state.m_wMouseFilter = request.mouseFilter;
        }
        state.m_bPassInjected = request.passInjected;
        request.result = 1;
    }
}
