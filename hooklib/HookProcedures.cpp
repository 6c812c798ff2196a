// The hot path: the two hook procedures. What they decide is platform-free (HookDecision.h,
// ReleaseChord.h); here are only the reads of the event and of the system's key state.
#include "HookDecision.h"
#include "HookLibrary.h"

#ifdef QUELVANT_HOOK_TIMING
#include "HookTimingLog.h" // benchmark builds only: times each mouse event in the procedure
#else
#define HOOK_TIMING_BEGIN()
#define HOOK_TIMING_MARKED()
#define HOOK_TIMING_DECIDED()
#define HOOK_TIMING_END()
#endif

CInputHookManager g_HookManager;

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
    CInputHookManager& state = g_HookManager;
    state.m_bMouseSeen = true;
    HOOK_TIMING_MARKED();
    const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
    const EventVerdict verdict =
        DecideMouseEvent(state.m_chord.released, nCode, state.m_wMouseFilter, state.m_bPassInjected,
                         wParam, event->flags, event->dwExtraInfo);
    const bool pass = verdict == EventVerdict::Pass || (verdict == EventVerdict::PassIfStillDown &&
                                                        ButtonStillDown(ButtonReleasedBy(wParam)));
    HOOK_TIMING_DECIDED();
    const LRESULT result =
        pass ? CallNextHookEx(state.m_hMouseHook.Get(), nCode, wParam, lParam) : 1;
    HOOK_TIMING_END();
    return result;
}

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    CInputHookManager& state = g_HookManager;
    state.m_bKeySeen = true;
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (state.m_ownKeys.Take(event.dwExtraInfo, event.flags, state.m_ownInputMark, event.vkCode,
                             IsKeyRelease(wParam))) {
        return CallNextHookEx(state.m_hKeyboardHook.Get(), nCode, wParam, lParam);
    }
    if (nCode >= 0 &&
        state.m_chord.Swallows(event.vkCode, IsKeyRelease(wParam), event.flags, event.time)) {
        // The chord works without the dialog, which may be stalled: the loop wakes to tell it
        // (and to sound) once this call has returned.
        if (state.m_chord.toggled) {
            PostThreadMessageW(GetCurrentThreadId(), kChordActedMessage, 0, 0);
        }
        return 1;
    }
    const EventVerdict verdict =
        DecideKeyboardEvent(state.KeyMode(), state.m_bPassInjected, nCode, event.flags, wParam);
    const bool pass = verdict == EventVerdict::Pass || (verdict == EventVerdict::PassIfStillDown &&
                                                        StillDown(static_cast<int>(event.vkCode)));
    return pass ? CallNextHookEx(state.m_hKeyboardHook.Get(), nCode, wParam, lParam) : 1;
}
