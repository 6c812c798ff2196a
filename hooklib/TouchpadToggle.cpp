// The precision touchpad's switch, on the hook thread: the system's own toggle (Ctrl+Win+F24,
// hardware guideline "Enable or Disable Toggle Button"), sent once per wish and marked as ours,
// and the wait for the touchpad to read as asked. Every switch runs here, whether the program
// asked, the chord or a lock did, one at a time: a second toggle would undo the first. The
// toggle waits for the user's own modifiers to be let go, since with them down it would be
// another combination; the loop goes on serving everything meanwhile.
#include "Helper.h"
#include "HookLibrary.h"
#include "TouchpadState.h"
#include "TouchpadSwitchRules.h"

namespace {

constexpr DWORD kTakeBoundMs = 1000; // the system switches well within this
constexpr DWORD kPollMs = 20;
constexpr UINT kModifierLookMs = 50; // while the user holds a modifier

bool ReadEnabled(bool& enabled, DWORD& error) noexcept {
    bool present = false;
    if (!ReadTouchpadState(::SystemParametersInfoW, present, enabled, error)) {
        return false;
    }
    if (!present) {
        error = ERROR_DEVICE_NOT_CONNECTED;
    }
    return present;
}

// Waits until `done` says so or the bound passes, serving only the hooks' calls, which come as
// sent messages: requests, the chord's news and the watchdog's ticks stay queued until the
// toggle has been taken or not. `change`, when given, wakes the wait early.
template <class Done> bool ServeHooksUntil(HANDLE change, DWORD boundMs, Done done) noexcept {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= boundMs) {
            return false;
        }
        const DWORD wait = boundMs - elapsed < kPollMs ? boundMs - elapsed : kPollMs;
        MsgWaitForMultipleObjectsEx(change != nullptr ? 1 : 0, &change, wait, QS_SENDMESSAGE, 0);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// The user's own Ctrl, Alt, Shift or Win. Those the keyboard hook discards are in its record
// only (they never reach the system's key state); those it passes, or that were down before
// it came, are in the system's key state.
bool UserModifierDown() noexcept {
    const CInputHookManager& state = g_HookManager;
    if (state.m_hKeyboardHook && state.m_chord.record.ModifierHeld(GetTickCount())) {
        return true;
    }
    for (const int vk : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN, VK_RWIN}) {
        if ((GetAsyncKeyState(vk) & 0x8000) != 0) {
            return true;
        }
    }
    return false;
}

INPUT OwnKey(WORD vk, bool up) noexcept {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (vk == VK_LWIN ? KEYEVENTF_EXTENDEDKEY : 0);
    input.ki.dwExtraInfo = g_HookManager.m_ownInputMark;
    return input;
}

// Sends Ctrl+Win+F24 once and waits up to a second for the touchpad to read as wished.
bool SendToggle(bool on, DWORD& error) noexcept {
    // Armed before the keys go, so that no change is missed; without the key (a system that
    // reports only through SPI_GETTOUCHPADPARAMETERS) short polls alone tell.
    UniqueRegKey status;
    UniqueKernelHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (changed && RegOpenKeyExW(HKEY_CURRENT_USER, kTouchpadStatusKey, 0, KEY_NOTIFY,
                                 status.Put()) == ERROR_SUCCESS) {
        RegNotifyChangeKeyValue(status.Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.Get(),
                                TRUE);
    }
    INPUT keys[] = {OwnKey(VK_LCONTROL, false), OwnKey(VK_LWIN, false), OwnKey(VK_F24, false),
                    OwnKey(VK_F24, true),       OwnKey(VK_LWIN, true),  OwnKey(VK_LCONTROL, true)};
    constexpr UINT kCount = sizeof keys / sizeof keys[0];
    static_assert(kCount <= OwnKeysInFlight::kCapacity);
    OwnKeysInFlight& own = g_HookManager.m_ownKeys;
    own = {};
    for (UINT i = 0; i < kCount; ++i) {
        own.vk[i] = keys[i].ki.wVk;
        own.up[i] = (keys[i].ki.dwFlags & KEYEVENTF_KEYUP) != 0;
    }
    own.count = kCount;
    SetLastError(0);
    const UINT sent = SendInput(kCount, keys, sizeof(INPUT));
    error = SendInputError(sent, kCount, GetLastError());
    own = {}; // the hooks were called within the call: from here on the mark means nothing
    if (error != 0) {
        return false;
    }
    // Sent once for this wish, whatever follows: a second combination would switch it back.
    bool read = true;
    bool enabled = !on;
    if (ServeHooksUntil(status ? changed.Get() : nullptr, kTakeBoundMs, [&] {
            read = ReadEnabled(enabled, error);
            return read && enabled == on;
        })) {
        return true;
    }
    if (read) {
        error = ERROR_NOT_SUPPORTED; // the system did not take the toggle
    }
    return false;
}

void FinishRequest(HookRequest& request, bool switched, DWORD error) noexcept {
    CInputHookManager& state = g_HookManager;
    const bool off = request.touchpadOff;
    // Held while off because of us: also when giving it back failed, so the chord may still.
    state.m_touchpadHeld = off ? switched : state.m_touchpadHeld && !switched;
    if (!state.WantsKeyboardHook()) {
        state.m_hKeyboardHook.Reset();
    }
    request.result = switched ? 1 : 0;
    request.error = switched ? 0 : error;
    request.answerLater = false;
}

void Finish(const TouchpadWaiter& waiter, bool switched, DWORD error) noexcept {
    if (waiter.request != nullptr) {
        FinishRequest(*waiter.request, switched, error);
    } else if (waiter.chord) {
        TellChord(waiter.caller, waiter.released, switched ? 0 : error);
    }
}

void StopWaiting() noexcept {
    PendingTouchpadSwitch& pending = g_HookManager.m_touchpadSwitch;
    if (pending.timer != 0) {
        KillTimer(nullptr, pending.timer);
        pending.timer = 0;
    }
    pending.waiting = false;
}

// Sends once the user's modifiers are up; else looks again at the next tick, or gives up.
void Advance() noexcept {
    PendingTouchpadSwitch& pending = g_HookManager.m_touchpadSwitch;
    const ULONGLONG waited = GetTickCount64() - pending.since;
    const SwitchStep step = NextSwitchStep(
        UserModifierDown(), waited > kModifiersHeldBoundMs ? kModifiersHeldBoundMs + 1
                                                           : static_cast<std::uint32_t>(waited));
    if (step == SwitchStep::Wait) {
        if (pending.timer == 0) {
            pending.timer = SetTimer(nullptr, 0, kModifierLookMs, nullptr);
        }
        if (pending.timer != 0) {
            return;
        }
    }
    const TouchpadWaiter waiter = pending.waiter;
    StopWaiting();
    if (step == SwitchStep::GiveUp) {
        Finish(waiter, false, kModifiersHeldError);
        return;
    }
    // Sent, or a wait that no timer could serve: better a toggle now than none.
    DWORD error = 0;
    const bool switched = SendToggle(pending.on, error);
    Finish(waiter, switched, error);
}

// A new wish: it takes the place of one that still waits, which then sent nothing.
void BeginSwitch(bool on, const TouchpadWaiter& waiter) noexcept {
    PendingTouchpadSwitch& pending = g_HookManager.m_touchpadSwitch;
    if (pending.waiting) {
        const TouchpadWaiter earlier = pending.waiter;
        StopWaiting();
        // The chord's news goes out plain: the later wish is what counts for the touchpad.
        Finish(earlier, earlier.chord, kSupersededError);
    }
    bool enabled = false;
    DWORD error = 0;
    if (!ReadEnabled(enabled, error)) {
        Finish(waiter, false, error);
        return;
    }
    if (enabled == on) {
        Finish(waiter, true, 0); // only a state that differs is toggled
        return;
    }
    pending.waiting = true;
    pending.on = on;
    pending.since = GetTickCount64();
    pending.waiter = waiter;
    Advance();
}

} // namespace

void ApplyTouchpadRequest(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    const bool off = request.touchpadOff;
    // The chord's watch comes before the switch: a touchpad off with no way back is what
    // this library exists to prevent.
    if (off && !state.m_hKeyboardHook && !ReplaceHook(HookKind::Keyboard, request.error)) {
        return;
    }
    request.answerLater = true;
    BeginSwitch(!off, TouchpadWaiter{&request});
}

void TouchpadFollowsChord(bool released, DWORD caller) noexcept {
    if (!g_HookManager.m_touchpadHeld) {
        TellChord(caller, released, 0);
        return;
    }
    BeginSwitch(released, TouchpadWaiter{nullptr, true, released, caller});
}

bool TouchpadOffForLock() noexcept {
    bool enabled = false;
    DWORD error = 0;
    // Off already (held by the program, or by the user) or no touchpad: nothing to give back.
    if (!ReadEnabled(enabled, error) || !enabled) {
        return false;
    }
    BeginSwitch(false, TouchpadWaiter{});
    return true;
}

void TouchpadBackAfterLock() noexcept {
    const CInputHookManager& state = g_HookManager;
    if (state.m_touchpadHeld && !state.m_chord.released) {
        return; // the program's choice holds it off, as before the lock
    }
    BeginSwitch(true, TouchpadWaiter{});
}

bool TouchpadTimerFired(UINT_PTR timer) noexcept {
    const PendingTouchpadSwitch& pending = g_HookManager.m_touchpadSwitch;
    if (timer == 0 || timer != pending.timer) {
        return false;
    }
    if (pending.waiting) {
        Advance();
    }
    return true;
}

bool TouchpadSwitchWaits() noexcept {
    return g_HookManager.m_touchpadSwitch.waiting;
}
