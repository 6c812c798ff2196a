// Windows layer of the hook library: the hook state of the process, the two hook
// procedures, the two exports and the thread the hooks live on.
//
// The hooks are installed and serviced on a thread of the library's own that runs a plain
// message loop and nothing else, so nothing the caller's thread does (a message box, a slow
// call, a stall) delays or leaks an event. The exports hand their work to that thread and
// wait for the outcome. Every field below is read and written on that thread only, so the
// hook procedures take no lock.
#define HELPER_BUILDING_DLL
#include "Helper.h"

#include "HookDecision.h"
#include "HookWatchdog.h"

#ifdef QUELVANT_HOOK_TIMING
#include "HookTiming.h" // benchmark builds only: times each mouse event in the procedure
#else
#define HOOK_TIMING_BEGIN()
#define HOOK_TIMING_MARKED()
#define HOOK_TIMING_DECIDED()
#define HOOK_TIMING_END()
#endif

HMODULE g_hModule = nullptr;

namespace {

// The one hook state of the process.
class CInputHookManager {
public:
    HHOOK m_hMouseHook = nullptr;
    HHOOK m_hKeyboardHook = nullptr;
    WORD m_wMouseFilter = 0;
    BOOL m_bPassInjected = 0;
};

CInputHookManager g_HookManager;

// Set by the hook procedures, gathered and cleared by the watchdog: one store per event.
bool g_mouseSeen = false;
bool g_keySeen = false;

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

// Called for every mouse event of the desktop: a few comparisons and one store.
LRESULT CALLBACK MouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    HOOK_TIMING_BEGIN();
    g_mouseSeen = true;
    HOOK_TIMING_MARKED();
    bool pass = nCode < 0 || ShouldPassMouseEvent(
                                 g_HookManager.m_wMouseFilter, g_HookManager.m_bPassInjected,
                                 wParam, reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam)->flags);
    if (!pass) {
        if (const ReleasedButton button = ButtonReleasedBy(wParam);
            button != ReleasedButton::None) {
            pass = ButtonStillDown(button);
        }
    }
    HOOK_TIMING_DECIDED();
    const LRESULT result =
        pass ? CallNextHookEx(g_HookManager.m_hMouseHook, nCode, wParam, lParam) : 1;
    HOOK_TIMING_END();
    return result;
}

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    g_keySeen = true;
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (ShouldPassKeyboardEvent(g_HookManager.m_bPassInjected, nCode, event.flags) ||
        (IsKeyRelease(wParam) && StillDown(static_cast<int>(event.vkCode)))) {
        return CallNextHookEx(g_HookManager.m_hKeyboardHook, nCode, wParam, lParam);
    }
    return 1;
}

// Installs a hook of the kind before the one in force goes, so that no event slips through
// in between. On failure the hook in force stays; the error is the installing thread's.
bool ReplaceHook(HHOOK& inForce, int idHook, HOOKPROC proc, DWORD& error) noexcept {
    const HHOOK fresh = SetWindowsHookExW(idHook, proc, g_hModule, 0);
    if (fresh == nullptr) {
        error = GetLastError();
        return false;
    }
    if (inForce != nullptr) {
        // Its result is not examined: a hook the system already dropped is gone anyway.
        UnhookWindowsHookEx(inForce);
    }
    inForce = fresh;
    return true;
}

void RemoveHook(HHOOK& inForce) noexcept {
    if (inForce != nullptr) {
        UnhookWindowsHookEx(inForce);
        inForce = nullptr;
    }
}

// One call of an export, carried out on the hook thread.
struct Request {
    bool mouse;
    WORD value; // the filter word, or bDisable
    BOOL bAllowInjected;
    int result;
    DWORD error;
    bool threadEnds; // no hook is left, so the hook thread ends after this request
};

void Carry(Request& request) noexcept {
    CInputHookManager& state = g_HookManager;
    if (request.value == 0) {
        RemoveHook(request.mouse ? state.m_hMouseHook : state.m_hKeyboardHook);
        if (request.mouse) {
            state.m_wMouseFilter = 0;
        }
        state.m_bPassInjected = request.bAllowInjected;
        request.result = 1;
        return;
    }
    const bool installed =
        request.mouse
            ? ReplaceHook(state.m_hMouseHook, WH_MOUSE_LL, MouseHookProc, request.error)
            : ReplaceHook(state.m_hKeyboardHook, WH_KEYBOARD_LL, KeyboardHookProc, request.error);
    if (installed) {
        // Filter and flag change with the hook, so a failed call leaves all three as they were.
        if (request.mouse) {
            state.m_wMouseFilter = request.value;
        }
        state.m_bPassInjected = request.bAllowInjected;
        request.result = 1;
    }
}

// ---- The hook thread --------------------------------------------------------------------

constexpr UINT kCarryRequest = WM_APP + 1;        // thread message, lParam: Request*
constexpr UINT kLeave = WM_APP + 2;               // thread message: the library is unloading
constexpr DWORD kLeaveBoundMs = 2500;             // above Wine's 2 s for a hook call in flight
constexpr DWORD kWatchdogPeriodMs = 250;          // one interval of the watchdog
constexpr DWORD kStallMs = 4 * kWatchdogPeriodMs; // a later tick means this thread stood still
constexpr wchar_t kSinkClass[] = L"QuelvantHookThread";

struct HookThread {
    HANDLE thread = nullptr;
    DWORD id = 0;
};
HookThread g_thread;                 // touched by the exports only, under g_exportLock
SRWLOCK g_exportLock = SRWLOCK_INIT; // exports may come from more than one thread
// Set by an unload before it posts kLeave; the hook thread signals it as it parks.
HANDLE g_steppedOff = nullptr;
volatile LONG g_leaving = 0;
DWORD g_callerThread = 0; // whose windows hear of a re-installed hook
UINT g_restoredMessage = 0;

struct Delivery {
    Request* request;
    HANDLE done;
};

struct ThreadStart {
    HDESK desktop;
    HANDLE ready;
};

DWORD LastInputTime() noexcept {
    LASTINPUTINFO info{sizeof info, 0};
    return GetLastInputInfo(&info) ? info.dwTime : 0;
}

// Tells the caller's windows (the dialog among them) that a dropped hook is back. Posted:
// it must reach the dialog also while a modal loop runs, where thread messages are lost.
void AnnounceRestored(WPARAM hooks) noexcept {
    EnumThreadWindows(
        g_callerThread,
        [](HWND window, LPARAM which) -> BOOL {
            PostMessageW(window, g_restoredMessage, static_cast<WPARAM>(which), 0);
            return TRUE;
        },
        static_cast<LPARAM>(hooks));
}

// Notices a hook that the system dropped without a word (a procedure that once overran the
// platform's time-out, say) and installs it anew.
class Watchdog {
public:
    void Restart() noexcept {
        for (HookActivity& interval : recent_) {
            interval = {};
        }
        g_mouseSeen = g_keySeen = keyTyped_ = false;
        lastInput_ = LastInputTime();
        lastTick_ = GetTickCount();
    }

    void KeyTyped() noexcept { keyTyped_ = true; }

    // Milliseconds until the next tick is due.
    DWORD Due() const noexcept {
        const DWORD elapsed = GetTickCount() - lastTick_;
        return elapsed >= kWatchdogPeriodMs ? 0 : kWatchdogPeriodMs - elapsed;
    }

    void Tick() noexcept {
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

        CInputHookManager& state = g_HookManager;
        // Installing a hook takes the loader lock, which an unload holds while it waits for us.
        if (InterlockedCompareExchange(&g_leaving, 0, 0) != 0) {
            return;
        }
        const WatchdogVerdict verdict =
            JudgeHooks(recent_, state.m_hMouseHook != nullptr, state.m_hKeyboardHook != nullptr);
        WPARAM restored = 0;
        DWORD ignored = 0;
        if (verdict.mouseDropped &&
            ReplaceHook(state.m_hMouseHook, WH_MOUSE_LL, MouseHookProc, ignored)) {
            restored |= HELPER_RESTORED_MOUSE;
        }
        if (verdict.keyboardDropped &&
            ReplaceHook(state.m_hKeyboardHook, WH_KEYBOARD_LL, KeyboardHookProc, ignored)) {
            restored |= HELPER_RESTORED_KEYBOARD;
        }
        if (restored != 0) {
            Restart();
            AnnounceRestored(restored);
        }
    }

private:
    HookActivity recent_[3]{};
    bool keyTyped_ = false;
    DWORD lastInput_ = 0;
    DWORD lastTick_ = 0;
};

// A message-only window that receives raw keyboard input even for keys the hook discards:
// it tells typing apart from a mouse hook the system dropped.
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

void RemoveRawInputSink(HWND sink) noexcept {
    if (sink != nullptr) {
        RAWINPUTDEVICE keyboard{0x01, 0x06, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
        DestroyWindow(sink);
    }
}

// Runs until a request leaves no hook in force, or until an unload asks it to leave: it then
// parks where it runs none of the library's code any more (see DllMain).
DWORD WINAPI HookThreadMain(LPVOID parameter) {
    const ThreadStart start = *static_cast<const ThreadStart*>(parameter);
    // The hooks belong on the caller's desktop; this must come before the thread's queue.
    if (start.desktop != nullptr) {
        SetThreadDesktop(start.desktop);
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const HWND sink = CreateRawInputSink();
    Watchdog watchdog;
    watchdog.Restart();
    SetEvent(start.ready);

    bool running = true;
    bool leaving = false;
    while (running) {
        MsgWaitForMultipleObjectsEx(0, nullptr, watchdog.Due(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        while (running && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == nullptr && msg.message == kLeave) {
                running = false;
                leaving = true;
                break;
            }
            if (msg.hwnd == nullptr && msg.message == kCarryRequest) {
                const Delivery& delivery = *reinterpret_cast<const Delivery*>(msg.lParam);
                Carry(*delivery.request);
                watchdog.Restart();
                running = g_HookManager.m_hMouseHook != nullptr ||
                          g_HookManager.m_hKeyboardHook != nullptr;
                delivery.request->threadEnds = !running;
                SetEvent(delivery.done);
                continue;
            }
            if (msg.message == WM_INPUT) {
                watchdog.KeyTyped();
            }
            DispatchMessageW(&msg);
        }
        if (running && watchdog.Due() == 0) {
            watchdog.Tick();
        }
    }
    RemoveRawInputSink(sink);
    if (leaving) {
        // Signals the unload and enters an alertable wait in one system call, so the library
        // may go from here on: the unload's ExitThread APC ends the thread inside that wait.
        // It waits on itself, which never ends the wait and stays valid should the system renew
        // the wait.
        SignalObjectAndWait(g_steppedOff, GetCurrentThread(), INFINITE, TRUE);
        for (;;) {
            SleepEx(INFINITE, TRUE); // only if the handshake failed; the APC still ends us
        }
    }
    return 0;
}

// Hands one request to the hook thread, starting it first when none runs, and waits for the
// outcome. Runs under g_exportLock.
void Submit(Request& request) noexcept {
    g_callerThread = GetCurrentThreadId();
    if (g_restoredMessage == 0) {
        g_restoredMessage = RegisterWindowMessageW(HELPER_RESTORED_MESSAGE);
    }
    if (g_thread.thread == nullptr) {
        if (request.value == 0) {
            // No thread, so no hook: removing is only bookkeeping.
            Carry(request);
            return;
        }
        const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (ready == nullptr) {
            request.error = GetLastError();
            return;
        }
        ThreadStart start{GetThreadDesktop(GetCurrentThreadId()), ready};
        g_thread.thread = CreateThread(nullptr, 0, HookThreadMain, &start, 0, &g_thread.id);
        if (g_thread.thread == nullptr) {
            request.error = GetLastError();
            CloseHandle(ready);
            return;
        }
        const HANDLE started[] = {ready, g_thread.thread};
        WaitForMultipleObjects(2, started, FALSE, INFINITE);
        CloseHandle(ready);
    }
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Delivery delivery{&request, done};
    if (done == nullptr ||
        !PostThreadMessageW(g_thread.id, kCarryRequest, 0, reinterpret_cast<LPARAM>(&delivery))) {
        request.error = GetLastError();
    } else {
        // A thread that could not start ends at once; the request then fails instead of
        // waiting for ever.
        const HANDLE either[] = {done, g_thread.thread};
        if (WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0) {
            request.threadEnds = true;
        }
    }
    if (done != nullptr) {
        CloseHandle(done);
    }
    if (request.threadEnds) {
        WaitForSingleObject(g_thread.thread, INFINITE);
        CloseHandle(g_thread.thread);
        g_thread = {};
    }
}

int Run(Request request, DWORD* dwLastError) noexcept {
    AcquireSRWLockExclusive(&g_exportLock);
    Submit(request);
    ReleaseSRWLockExclusive(&g_exportLock);
    if (request.result == 0 && dwLastError != nullptr) {
        *dwLastError = request.error;
    }
    return request.result;
}

// Casts a system function of one pointer-sized argument to an APC.
template <class Function> PAPCFUNC AsApc(Function* function) noexcept {
    return reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(function));
}

// Asks the hook thread to leave, waits until it has parked, and ends it with APCs, which it
// runs in its parked wait. Called under the loader lock.
void ParkAndEndHookThread() noexcept {
    g_steppedOff = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InterlockedExchange(&g_leaving, 1);
    const bool parked = g_steppedOff != nullptr && PostThreadMessageW(g_thread.id, kLeave, 0, 0) &&
                        WaitForSingleObject(g_steppedOff, kLeaveBoundMs) == WAIT_OBJECT_0;
    if (parked) {
        // Closed by the thread, not here: the system may renew the parked wait, signal and all,
        // and a handle closed under it would end the wait back in the library's code.
        QueueUserAPC(AsApc(&CloseHandle), g_thread.thread,
                     reinterpret_cast<ULONG_PTR>(g_steppedOff));
    }
    // Unless parked, the thread may still reach for the handle: it stays open, a last resort.
    QueueUserAPC(AsApc(&ExitThread), g_thread.thread, 0);
}

} // namespace

HELPER_API int GlobalDisableMouse(WORD wFilter, DWORD& dwLastError, BOOL bAllowInjected) {
    return Run(Request{true, wFilter, bAllowInjected, 0, 0, false}, &dwLastError);
}

HELPER_API int GlobalDisableKeyboard(BOOL bDisable, BOOL bAllowInjected) {
    return Run(
        Request{false, static_cast<WORD>(bDisable != 0 ? 1 : 0), bAllowInjected, 0, 0, false},
        nullptr);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hModule = hInstance;
    } else if (dwReason == DLL_PROCESS_DETACH) {
        // Both hooks go now, from this thread, so that no new call of them begins.
        RemoveHook(g_HookManager.m_hMouseHook);
        RemoveHook(g_HookManager.m_hKeyboardHook);
        if (g_thread.thread != nullptr) {
            if (lpReserved == nullptr) {
                // Unloaded while the process goes on. The hook thread may be running the
                // library's code this moment (a hook call in flight, messages in its queue), and
                // that code is about to be unmapped: wait until it has parked in a system wait.
                // Its way there is short and, the watchdog's re-install aside (barred once we
                // leave), takes no loader lock; the bound covers a hook call that waits on this
                // very thread. It cannot end before the loader lets it, so an ExitThread APC
                // ends it in that wait.
                ParkAndEndHookThread();
            }
            CloseHandle(g_thread.thread);
            g_thread = {};
        }
    }
    return TRUE;
}
