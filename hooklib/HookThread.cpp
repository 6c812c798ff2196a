// The hook thread: its start, its message loop, and the hand-over of requests from the exports.
//
// The hooks are installed and serviced on a thread of the library's own that runs a plain
// message loop and nothing else, so nothing the caller's thread does (a message box, a slow
// call, a stall) delays or leaks an event. The exports hand their work to that thread and
// wait for the outcome.
#include "Helper.h"
#include "HookLibrary.h"

HookThreadHandle g_hookThread;
volatile LONG g_unloading = 0;

namespace {

// Thread message that carries a request. lParam: the PostedRequest, which the poster keeps
// alive until `done` is signalled.
constexpr UINT kRequestMessage = WM_APP + 1;

struct PostedRequest {
    HookRequest* request;
    HANDLE done;
};

struct ThreadStart {
    HDESK desktop;
    HANDLE ready;
};

SRWLOCK g_exportLock = SRWLOCK_INIT; // exports may come from more than one thread

// Tells the last caller's windows that the chord released or restored blocking. Runs after
// the hook call, outside the hot path.
void AnnounceChord(DWORD caller) noexcept {
    static const UINT message = RegisterWindowMessageW(HELPER_CHORD_MESSAGE);
    g_releaseToggled = false;
    PostToThreadWindows(caller, message,
                        g_released ? HELPER_CHORD_RELEASED : HELPER_CHORD_RESTORED);
}

// Serves requests and the watchdog until a request leaves no hook in force (returns null) or
// an unload asks the thread to leave (returns the event to signal once parked).
HANDLE ServeHooks(Watchdog& watchdog) noexcept {
    MSG msg;
    DWORD caller = 0;
    for (;;) {
        MsgWaitForMultipleObjectsEx(0, nullptr, watchdog.Due(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == nullptr && msg.message == kAskToLeaveMessage) {
                return reinterpret_cast<HANDLE>(msg.lParam);
            }
            if (msg.hwnd == nullptr && msg.message == kRequestMessage) {
                const PostedRequest& posted = *reinterpret_cast<const PostedRequest*>(msg.lParam);
                HookRequest& request = *posted.request;
                ApplyRequest(request);
                watchdog.Restart();
                caller = request.callerThread;
                watchdog.AnnounceTo(caller);
                request.lastHookGone =
                    !g_HookManager.m_hMouseHook && !g_HookManager.m_hKeyboardHook;
                SetEvent(posted.done); // from here on the request may be gone
                if (!g_HookManager.m_hMouseHook && !g_HookManager.m_hKeyboardHook) {
                    return nullptr;
                }
                continue;
            }
            if (!watchdog.TakeRawInput(msg)) {
                DispatchMessageW(&msg);
            }
        }
        if (g_releaseToggled) {
            AnnounceChord(caller);
        }
        if (watchdog.Due() == 0) {
            watchdog.Tick();
        }
    }
}

DWORD WINAPI HookThreadMain(LPVOID parameter) {
    const ThreadStart start = *static_cast<const ThreadStart*>(parameter);
    // The hooks belong on the caller's desktop; this must come before the thread's queue.
    if (start.desktop != nullptr) {
        SetThreadDesktop(start.desktop);
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    HANDLE parked = nullptr;
    {
        Watchdog watchdog; // its sink window is made and destroyed on this thread
        SetEvent(start.ready);
        parked = ServeHooks(watchdog);
    }
    if (parked != nullptr) {
        // The hooks go on the thread they are called on, so no call of them is in flight.
        g_HookManager.m_hMouseHook.Reset();
        g_HookManager.m_hKeyboardHook.Reset();
        ParkForUnload(parked);
    }
    return 0;
}

// Starts the hook thread on the caller's desktop and waits until its queue is ready.
bool StartHookThread(DWORD& error) noexcept {
    const UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) {
        error = GetLastError();
        return false;
    }
    ThreadStart start{GetThreadDesktop(GetCurrentThreadId()), ready.Get()};
    g_hookThread.thread.Reset(
        CreateThread(nullptr, 0, HookThreadMain, &start, CREATE_SUSPENDED, &g_hookThread.id));
    if (!g_hookThread.thread) {
        error = GetLastError();
        g_hookThread.id = 0;
        return false;
    }
    // Time-critical before its first instruction: on a busy machine a thread of normal priority
    // can wait for a core longer than the system waits for a hook. It never spins, so it takes
    // from the others only the little its hooks need.
    SetThreadPriority(g_hookThread.thread.Get(), THREAD_PRIORITY_TIME_CRITICAL);
    if (ResumeThread(g_hookThread.thread.Get()) == static_cast<DWORD>(-1)) {
        error = GetLastError(); // it never ran, so it holds nothing
        TerminateThread(g_hookThread.thread.Get(), 0);
        g_hookThread = {};
        return false;
    }
    const HANDLE started[] = {ready.Get(), g_hookThread.thread.Get()};
    WaitForMultipleObjects(2, started, FALSE, INFINITE);
    return true;
}

void HandOver(HookRequest& request) noexcept {
    if (!g_hookThread.thread) {
        if (request.Removes()) {
            // No thread, so no hook: removing is only bookkeeping, done here.
            ApplyRequest(request);
            return;
        }
        if (!StartHookThread(request.error)) {
            return;
        }
    }
    const UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PostedRequest posted{&request, done.Get()};
    if (!done || !PostThreadMessageW(g_hookThread.id, kRequestMessage, 0,
                                     reinterpret_cast<LPARAM>(&posted))) {
        request.error = GetLastError();
    } else {
        // A thread that could not start ends at once; the request then fails instead of
        // waiting for ever.
        const HANDLE either[] = {done.Get(), g_hookThread.thread.Get()};
        if (WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0) {
            request.lastHookGone = true;
        }
    }
    if (request.lastHookGone) {
        WaitForSingleObject(g_hookThread.thread.Get(), INFINITE);
        g_hookThread = {};
    }
}

} // namespace

void PostToThreadWindows(DWORD thread, UINT message, WPARAM wParam) noexcept {
    struct Post {
        UINT message;
        WPARAM wParam;
    } post{message, wParam};
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM context) -> BOOL {
            const auto& what = *reinterpret_cast<const Post*>(context);
            PostMessageW(window, what.message, what.wParam, 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&post));
}

void CallOnHookThread(HookRequest& request) noexcept {
    AcquireSRWLockExclusive(&g_exportLock);
    HandOver(request);
    ReleaseSRWLockExclusive(&g_exportLock);
}
