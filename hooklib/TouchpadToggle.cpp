// The precision touchpad's switch, on the hook thread: the system's own toggle (Ctrl+Win+F24,
// hardware guideline "Enable or Disable Toggle Button"), sent once per wish and marked as ours,
// and the wait for the touchpad to read as asked. Every switch runs here, whether the program
// asked or the chord did, so two never overlap: a second toggle would undo the first.
#include "Helper.h"
#include "HookLibrary.h"
#include "TouchpadState.h"

namespace {

constexpr DWORD kModifiersUpBoundMs = 1000; // the user's own modifiers, let go meanwhile
constexpr DWORD kTakeBoundMs = 1000;        // the system switches well within this
constexpr DWORD kPollMs = 20;

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
// switch is over. `change`, when given, wakes the wait early.
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

// Modifiers that the system counts as down would join the combination (the chord's Ctrl, Alt
// and Shift, a shortcut's), and it would no longer be the toggle. Keys the hook discards never
// reach the system's key state, so they do not count here.
bool ModifierDown() noexcept {
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

} // namespace

bool SwitchTouchpad(bool on, DWORD& error) noexcept {
    bool enabled = false;
    if (!ReadEnabled(enabled, error)) {
        return false;
    }
    if (enabled == on) {
        return true; // only a state that differs is toggled
    }
    ServeHooksUntil(nullptr, kModifiersUpBoundMs, [] { return !ModifierDown(); });
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
    if (SendInput(kCount, keys, sizeof(INPUT)) != kCount) {
        error = GetLastError();
        return false;
    }
    // Sent once for this wish, whatever follows: a second combination would switch it back.
    bool read = true;
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

void ApplyTouchpadRequest(HookRequest& request) noexcept {
    CInputHookManager& state = g_HookManager;
    const bool off = request.touchpadOff;
    // The chord's watch comes before the switch: a touchpad off with no way back is what
    // this library exists to prevent.
    if (off && !state.m_hKeyboardHook && !ReplaceHook(HookKind::Keyboard, request.error)) {
        return;
    }
    const bool switched = SwitchTouchpad(!off, request.error);
    // Held while off because of us: also when giving it back failed, so the chord may still.
    state.m_touchpadHeld = off ? switched : state.m_touchpadHeld && !switched;
    if (!state.WantsKeyboardHook()) {
        state.m_hKeyboardHook.Reset();
    }
    request.result = switched ? 1 : 0;
}

bool TouchpadFollowsChord(bool released) noexcept {
    if (!g_HookManager.m_touchpadHeld) {
        return true;
    }
    DWORD error = 0;
    return SwitchTouchpad(released, error);
}

bool TouchpadOffForLock() noexcept {
    bool enabled = false;
    DWORD error = 0;
    // Off already (held by the program, or by the user) or no touchpad: nothing to give back.
    return ReadEnabled(enabled, error) && enabled && SwitchTouchpad(false, error);
}

void TouchpadBackAfterLock() noexcept {
    const CInputHookManager& state = g_HookManager;
    if (state.m_touchpadHeld && !state.m_chord.released) {
        return; // the program's choice holds it off, as before the lock
    }
    DWORD error = 0;
    SwitchTouchpad(true, error);
}
