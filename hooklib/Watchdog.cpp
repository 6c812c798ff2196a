// The watchdog: notices a hook that the system dropped and installs it anew; its raw-input sink.
#include "Helper.h"
#include "HookLibrary.h"

namespace {

constexpr DWORD kStallMs = 4 * Watchdog::kPeriodMs; // a later tick means this thread stood still
constexpr wchar_t kSinkClass[] = L"QuelvantHookThread";

DWORD LastInputTime() noexcept {
    LASTINPUTINFO info{sizeof info, 0};
    return GetLastInputInfo(&info) ? info.dwTime : 0;
}

// Receives raw keyboard input even for keys the hook discards: it tells typing apart from a
// mouse hook the system dropped.
HWND CreateRawInputSink() noexcept {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW; // not ours: nothing of the library is called on teardown
    wc.hInstance = g_hModule;
    wc.lpszClassName = kSinkClass;
    RegisterClassExW(&wc); // fails harmlessly when a former hook thread registered it
    const HWND sink = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      g_hModule, nullptr);
    if (sink != nullptr) {
        RAWINPUTDEVICE keyboard{0x01, 0x06, RIDEV_INPUTSINK, sink}; // generic desktop, keyboard
        RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
    }
    return sink;
}

} // namespace

void CloseRawInputSink(HWND sink) noexcept {
    RAWINPUTDEVICE keyboard{0x01, 0x06, RIDEV_REMOVE, nullptr};
    RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
    DestroyWindow(sink);
}

Watchdog::Watchdog() noexcept
    : restoredMessage_(RegisterWindowMessageW(HELPER_RESTORED_MESSAGE)),
      sink_(CreateRawInputSink()) {
    Restart();
}

void Watchdog::Restart() noexcept {
    for (HookActivity& interval : recent_) {
        interval = {};
    }
    g_mouseSeen = g_keySeen = keyTyped_ = false;
    lastInput_ = LastInputTime();
    lastTick_ = GetTickCount();
}

bool Watchdog::TakeRawInput(const MSG& msg) noexcept {
    if (msg.message != WM_INPUT) {
        return false;
    }
    keyTyped_ = true;
    DispatchMessageW(&msg); // the system frees the raw input's buffer in DefWindowProc
    return true;
}

DWORD Watchdog::Due() const noexcept {
    const DWORD elapsed = GetTickCount() - lastTick_;
    return elapsed >= kPeriodMs ? 0 : kPeriodMs - elapsed;
}

void Watchdog::Tick() noexcept {
    const DWORD now = GetTickCount();
    if (now - lastTick_ > kStallMs) {
        // This thread stood still: events may have gone by unseen with the hooks in place.
        Restart();
        return;
    }
    lastTick_ = now;
    const DWORD lastInput = LastInputTime();
    recent_[2] = recent_[1];
    recent_[1] = recent_[0];
    recent_[0] = {lastInput != lastInput_, g_mouseSeen, g_keySeen, keyTyped_};
    lastInput_ = lastInput;
    g_mouseSeen = g_keySeen = keyTyped_ = false;

    // Installing a hook takes the loader lock, which an unload holds while it waits for us.
    if (InterlockedCompareExchange(&g_unloading, 0, 0) != 0) {
        return;
    }
    const WatchdogVerdict verdict =
        JudgeHooks(recent_, static_cast<bool>(g_HookManager.m_hMouseHook),
                   static_cast<bool>(g_HookManager.m_hKeyboardHook));
    WPARAM restored = 0;
    DWORD ignored = 0;
    if (verdict.mouseDropped && ReplaceHook(HookKind::Mouse, ignored)) {
        restored |= HELPER_RESTORED_MOUSE;
    }
    if (verdict.keyboardDropped && ReplaceHook(HookKind::Keyboard, ignored)) {
        restored |= HELPER_RESTORED_KEYBOARD;
    }
    if (restored == 0) {
        return;
    }
    Restart();
    PostToThreadWindows(announceTo_, restoredMessage_, restored);
}
