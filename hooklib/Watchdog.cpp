// The watchdog: notices a hook that the system dropped and installs it anew; its raw-input sink.
#include "Helper.h"
#include "HookLibrary.h"

namespace {

constexpr DWORD kStallPeriods = 4; // a tick this many periods late: this thread stood still
constexpr wchar_t kSinkClass[] = L"QuelvantHookThread";

DWORD LastInputTime() noexcept {
    LASTINPUTINFO info{sizeof info, 0};
    return GetLastInputInfo(&info) ? info.dwTime : 0;
}

// Where the pointer stands is read on a thread of the system's pool, never on this one: under
// Wine the first read gives the reading thread a connection to the display, which the thread
// then looks at each time it wakes, and that made every hook call here slower. The pool runs
// the system's GetCursorPos itself, nothing of this library, and it writes to the process's
// heap, which an unload leaves alone: a read still queued at an unload harms nothing. On a
// desktop that is not ours the system does not say, and the last place read stays.
POINT* PointerSlot() noexcept {
    static POINT* const slot =
        static_cast<POINT*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(POINT)));
    return slot;
}

void AskWherePointerIs() noexcept {
    // No new thread of the pool while an unload holds the loader lock.
    if (InterlockedCompareExchange(&g_HookManager.m_unloading, 0, 0) != 0) {
        return;
    }
    if (POINT* const slot = PointerSlot()) {
        // GetCursorPos takes one pointer, as a work item does.
        QueueUserWorkItem(
            reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(&GetCursorPos)),
            slot, WT_EXECUTEDEFAULT);
    }
}

POINT LastPointerRead() noexcept {
    const POINT* const slot = PointerSlot();
    if (slot == nullptr) {
        return {};
    }
    const auto* place = reinterpret_cast<const volatile LONG*>(slot);
    return {place[0], place[1]};
}

// Receives raw keyboard input even for keys the hook discards: it tells typing apart from a
// mouse hook the system dropped.
HWND CreateRawInputSink() noexcept {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW; // not ours: nothing of the library is called on teardown
    wc.hInstance = g_HookManager.m_hModule;
    wc.lpszClassName = kSinkClass;
    RegisterClassExW(&wc); // fails harmlessly when a former hook thread registered it
    const HWND sink = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      g_HookManager.m_hModule, nullptr);
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
#ifdef QUELVANT_INSTALL_SEAM
    seamMessage_ = RegisterWindowMessageW(L"Quelvant.Seam.Suspect");
#endif
    // The thread starts for a request, whose answer restarts the watchdog: the pointer is
    // read then, not here, where the caller still waits for the thread to be ready.
    lastInput_ = LastInputTime();
    lastTick_ = GetTickCount();
}

Watchdog::~Watchdog() {
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
    }
}

void Watchdog::Restart() noexcept {
    memory_ = {};
    ForgetIntervals();
    Pace(kActivePeriodMs);
}

void Watchdog::Pace(DWORD periodMs, bool anew) noexcept {
    if (timer_ != 0 && periodMs == periodMs_ && !anew) {
        return;
    }
    // Set anew, so that the next tick comes a whole period from now.
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
    }
    timer_ = SetTimer(nullptr, 0, periodMs, nullptr);
    periodMs_ = periodMs;
    lastTick_ = GetTickCount(); // the next tick is due a period from now, not from the last
}

void Watchdog::ForgetIntervals() noexcept {
    for (HookActivity& interval : recent_) {
        interval = {};
    }
    g_HookManager.m_bMouseSeen = g_HookManager.m_bKeySeen = keyTyped_ = false;
    lastInput_ = LastInputTime();
    pointerKnown_ = false; // the read asked for here is where the next interval starts
    AskWherePointerIs();
    lastTick_ = GetTickCount();
}

bool Watchdog::Take(const MSG& msg) noexcept {
#ifdef QUELVANT_INSTALL_SEAM
    // Test builds only: a test makes the next tick suspect the kinds in wParam (1 mouse,
    // 2 keyboard) and hears the outcome as a thread message to the thread in lParam.
    if (msg.message == seamMessage_ && msg.hwnd == sink_.Get()) {
        planned_ = {(msg.wParam & 1) != 0, (msg.wParam & 2) != 0};
        plannedBy_ = static_cast<DWORD>(msg.lParam);
        Pace(kActivePeriodMs); // the next tick, not the next look at rest
        return true;
    }
#endif
    if (msg.message != WM_INPUT) {
        return false;
    }
    keyTyped_ = true;
    DispatchMessageW(&msg); // the system frees the raw input's buffer in DefWindowProc
    Pace(kActivePeriodMs);  // typing after a quiet spell is judged at once, not at the next look
    return true;
}

void Watchdog::TickIfDue() noexcept {
    if (timer_ != 0 && GetTickCount() - lastTick_ >= periodMs_) {
        Tick();
        Pace(periodMs_, true); // the timer held back would otherwise tick again at once
    }
}

void Watchdog::Tick() noexcept {
    CInputHookManager& state = g_HookManager;
    const DWORD now = GetTickCount();
    if (now - lastTick_ > kStallPeriods * periodMs_) {
        // This thread stood still: events may have gone by unseen with the hooks in place.
        Restart();
        return;
    }
    lastTick_ = now;
    const DWORD lastInput = LastInputTime();
    recent_[2] = recent_[1];
    recent_[1] = recent_[0];
    recent_[0] = {lastInput != lastInput_, state.m_bMouseSeen, state.m_bKeySeen, keyTyped_, false};
    lastInput_ = lastInput;
    // The read asked for at the last tick tells where the pointer stood as the interval judged
    // now (recent_[1]) ended; the one asked for now will tell it for the interval just ended.
    // Without input passing none is asked, and the last read still says where it stands.
    const POINT pointer = LastPointerRead();
    recent_[1].pointerMoved =
        pointerKnown_ && (pointer.x != lastPointer_.x || pointer.y != lastPointer_.y);
    lastPointer_ = pointer;
    pointerKnown_ = true;
    if (PointerReadNeeded(recent_[0])) {
        AskWherePointerIs();
    }
    state.m_bMouseSeen = state.m_bKeySeen = keyTyped_ = false;
    Pace(NextPeriodMs(recent_));

    // Installing a hook takes the loader lock, which an unload holds while it waits for us.
    if (InterlockedCompareExchange(&state.m_unloading, 0, 0) != 0) {
        return;
    }
    DWORD error = 0;
    if (state.m_hKeyboardHook) {
        state.m_chord.record.SetStickyKeys(StickyKeysOn()); // it may have changed meanwhile
    } else if (state.WantsKeyboardHook()) {
        ReplaceHook(HookKind::Keyboard, error); // the chord's watch, which failed to install
    }
    WatchdogVerdict suspects =
        ConfirmDrops(SuspectHooks(recent_, static_cast<bool>(state.m_hMouseHook),
                                  static_cast<bool>(state.m_hKeyboardHook)),
                     recent_, memory_);
#ifdef QUELVANT_INSTALL_SEAM
    suspects.mouseDropped = suspects.mouseDropped || planned_.mouseDropped;
    suspects.keyboardDropped = suspects.keyboardDropped || planned_.keyboardDropped;
    const bool planned = planned_.Any();
    planned_ = {};
#endif
    // Installed anew silently, new before old; removing the old hook tells whether the system
    // had dropped it.
    WatchdogVerdict reinstalled;
    DWORD mouseUnhookError = 0;
    DWORD keyboardUnhookError = 0;
    reinstalled.mouseDropped =
        suspects.mouseDropped && ReplaceHook(HookKind::Mouse, error, &mouseUnhookError);
    reinstalled.keyboardDropped =
        suspects.keyboardDropped && ReplaceHook(HookKind::Keyboard, error, &keyboardUnhookError);
    const WatchdogVerdict proved =
        ProvedDrops(reinstalled, mouseUnhookError, keyboardUnhookError, state.m_bBlockKeys);
#ifdef QUELVANT_INSTALL_SEAM
    if (planned) {
        PostThreadMessageW(plannedBy_, seamMessage_,
                           (reinstalled.mouseDropped ? 1 : 0) |
                               (reinstalled.keyboardDropped ? 2 : 0),
                           (proved.mouseDropped ? 1 : 0) | (proved.keyboardDropped ? 2 : 0));
    }
#endif
    if (!reinstalled.Any()) {
        return;
    }
    ForgetIntervals();
    const WPARAM restored = (proved.mouseDropped ? HELPER_RESTORED_MOUSE : 0) |
                            (proved.keyboardDropped ? HELPER_RESTORED_KEYBOARD : 0);
    if (restored != 0) {
        PostToThreadWindows(announceTo_, restoredMessage_, restored);
    }
}
