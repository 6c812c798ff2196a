// The hot path: the hook state of the process and the two hook procedures.
#include "HookDecision.h"
#include "HookLibrary.h"

#ifdef QUELVANT_HOOK_TIMING
#include "HookTiming.h" // benchmark builds only: times each mouse event in the procedure
#else
#define HOOK_TIMING_BEGIN()
#define HOOK_TIMING_MARKED()
#define HOOK_TIMING_DECIDED()
#define HOOK_TIMING_END()
#endif

CInputHookManager g_HookManager;
bool g_mouseSeen = false;
bool g_keySeen = false;
ReleaseChord g_releaseChord;
bool g_released = false;
bool g_releaseToggled = false;

namespace {

bool StillDown(int vk) noexcept {
    return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

// Inside a low-level hook the key state is the one before this event. The hook reports the
// logical button; the key state knows the physical one, which differs when they are swapped.
bool ButtonStillDown(ReleasedButton button) noexcept {
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    switch (button) {
    case ReleasedButton::Left:
        return StillDown(swapped ? VK_RBUTTON : VK_LBUTTON);
    case ReleasedButton::Right:
        return StillDown(swapped ? VK_LBUTTON : VK_RBUTTON);
    case ReleasedButton::Middle:
        return StillDown(VK_MBUTTON);
    case ReleasedButton::None:
        break;
    }
    return false;
}

} // namespace

// Called for every mouse event of the desktop: a few comparisons and one store.
LRESULT CALLBACK MouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    HOOK_TIMING_BEGIN();
    g_mouseSeen = true;
    HOOK_TIMING_MARKED();
    const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
    bool pass = nCode < 0 || g_released ||
                ShouldPassMouseEvent(g_HookManager.m_wMouseFilter, g_HookManager.m_bPassInjected,
                                     wParam, event->flags, event->dwExtraInfo);
    if (!pass) {
        if (const ReleasedButton button = ButtonReleasedBy(wParam);
            button != ReleasedButton::None) {
            pass = ButtonStillDown(button);
        }
    }
    HOOK_TIMING_DECIDED();
    const LRESULT result =
        pass ? CallNextHookEx(g_HookManager.m_hMouseHook.Get(), nCode, wParam, lParam) : 1;
    HOOK_TIMING_END();
    return result;
}

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    g_keySeen = true;
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool release = IsKeyRelease(wParam);
    if (nCode >= 0 && g_releaseChord.Feed(event.vkCode, release, event.flags, event.time)) {
        // Works without the dialog, which may be stalled: it only hears of it afterwards.
        g_released = !g_released;
        g_releaseToggled = true;
        return 1; // the chord's Q reaches no program
    }
    // A release whose press the system never saw is kept back in both states, so no program
    // gets half a key stroke; one whose press it saw passes, so nothing stays held.
    const bool pass =
        g_released ? nCode < 0 || !release || StillDown(static_cast<int>(event.vkCode))
                   : ShouldPassKeyboardEvent(g_HookManager.m_bPassInjected, nCode, event.flags) ||
                         (release && StillDown(static_cast<int>(event.vkCode)));
    return pass ? CallNextHookEx(g_HookManager.m_hKeyboardHook.Get(), nCode, wParam, lParam) : 1;
}
