// Windows layer of the hook library: the hook state of the process, the two hook
// procedures and the two exports. All of it runs on the thread that installed the hooks,
// so nothing here locks.
#define HELPER_BUILDING_DLL
#include "Helper.h"

#include "HookDecision.h"

#ifdef QUELVANT_HOOK_TIMING
#include "HookTiming.h" // benchmark builds only: times each mouse event in the procedure
#else
#define HOOK_TIMING_BEGIN()
#define HOOK_TIMING_DECIDED()
#define HOOK_TIMING_END()
#endif

HMODULE g_hModule = nullptr;

namespace {

// The one hook state of the process. It owns the hook handles: whatever is still installed
// when the library is unloaded (or the process ends) is removed here.
class CInputHookManager {
public:
    HHOOK m_hMouseHook = nullptr;
    HHOOK m_hKeyboardHook = nullptr;
    WORD m_wMouseFilter = 0;
    BOOL m_bPassInjected = 0;

    CInputHookManager() = default;
    CInputHookManager(const CInputHookManager&) = delete;
    CInputHookManager& operator=(const CInputHookManager&) = delete;

    ~CInputHookManager() {
        RemoveMouseHook();
        RemoveKeyboardHook();
    }

    // The result of UnhookWindowsHookEx is not examined: the handle is forgotten either way.
    void RemoveMouseHook() noexcept {
        if (m_hMouseHook != nullptr) {
            UnhookWindowsHookEx(m_hMouseHook);
            m_hMouseHook = nullptr;
        }
    }

    void RemoveKeyboardHook() noexcept {
        if (m_hKeyboardHook != nullptr) {
            UnhookWindowsHookEx(m_hKeyboardHook);
            m_hKeyboardHook = nullptr;
        }
    }
};

CInputHookManager g_HookManager;

// Called for every mouse event of the desktop: a few comparisons and nothing else.
LRESULT CALLBACK MouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    HOOK_TIMING_BEGIN();
    const bool pass =
        nCode < 0 ||
        ShouldPassMouseEvent(g_HookManager.m_wMouseFilter, g_HookManager.m_bPassInjected, wParam,
                             reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam)->flags);
    HOOK_TIMING_DECIDED();
    const LRESULT result =
        pass ? CallNextHookEx(g_HookManager.m_hMouseHook, nCode, wParam, lParam) : 1;
    HOOK_TIMING_END();
    return result;
}

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    if (ShouldPassKeyboardEvent(g_HookManager.m_bPassInjected, nCode,
                                reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->flags)) {
        return CallNextHookEx(g_HookManager.m_hKeyboardHook, nCode, wParam, lParam);
    }
    return 1;
}

} // namespace

HELPER_API int GlobalDisableMouse(WORD wFilter, DWORD& dwLastError, BOOL bAllowInjected) {
    g_HookManager.m_bPassInjected = bAllowInjected;
    g_HookManager.RemoveMouseHook();
    g_HookManager.m_wMouseFilter = wFilter;
    if (wFilter == 0) {
        return 1;
    }
    g_HookManager.m_hMouseHook = SetWindowsHookExW(WH_MOUSE_LL, MouseHookProc, g_hModule, 0);
    if (g_HookManager.m_hMouseHook != nullptr) {
        return 1;
    }
    dwLastError = GetLastError();
    return 0;
}

HELPER_API int GlobalDisableKeyboard(BOOL bDisable, BOOL bAllowInjected) {
    g_HookManager.m_bPassInjected = bAllowInjected;
    g_HookManager.RemoveKeyboardHook();
    if (bDisable == 0) {
        return 1;
    }
    g_HookManager.m_hKeyboardHook =
        SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, g_hModule, 0);
    return g_HookManager.m_hKeyboardHook != nullptr ? 1 : 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*lpReserved*/) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hModule = hInstance;
    }
    return TRUE;
}
