// The hook thread: its start, its message loop, and the hand-over of requests from the exports.
//
// The hooks are installed and serviced on a thread of the library's own that runs a plain
// message loop and nothing else, so nothing the caller's thread does (a message box, a slow
// call, a stall) delays or leaks an event. The exports hand their work to that thread and
// wait for the outcome.
#define _CRT_RAND_S // rand_s: the system's random bits
#include "Helper.h"
#include "HookLibrary.h"

#include <stdlib.h>

#include <utility>

namespace {

// The system's random bits where it gives them; else what no other program can foresee well.
std::uint64_t RandomBits() noexcept {
    unsigned int high = 0;
    unsigned int low = 0;
    if (rand_s(&high) == 0 && rand_s(&low) == 0) {
        return (std::uint64_t{high} << 32) | low;
    }
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull ^
           (std::uint64_t{GetCurrentProcessId()} << 32) ^
           reinterpret_cast<std::uintptr_t>(&counter);
}

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

// Tells of the chord's last act, after the hook call, outside the hot path: a short system
// sound of the library's own, a different one each way, which needs no dialog (it may be
// stalled) and does not wait for the sound; the touchpad, when held; then the last caller's
// windows, which show and speak it when they run.
void AnnounceChord(DWORD caller) noexcept {
    ChordState& chord = g_HookManager.m_chord;
    const bool released = chord.released;
    chord.toggled = false;
    MessageBeep(released ? MB_ICONASTERISK : MB_ICONEXCLAMATION);
    // A touchpad held off follows here, so that it comes back with the dialog stalled; the
    // windows hear of the chord once it has (after the user let go of Ctrl, Alt and Shift).
    TouchpadFollowsChord(released, caller);
}

// Hands a request its answer; true when no hook is left, so that the thread ends.
bool Answer(const PostedRequest& posted) noexcept {
    const CInputHookManager& state = g_HookManager;
    const bool lastHookGone =
        !state.m_hMouseHook && !state.m_hKeyboardHook && !TouchpadSwitchWaits();
    posted.request->lastHookGone = lastHookGone;
    SetEvent(posted.done); // from here on the request may be gone
    return lastHookGone;
}

// Serves requests and the watchdog until a request leaves no hook in force (returns null) or
// an unload asks the thread to leave (returns the event to signal once parked). One system call
// per event: the hooks are called inside GetMessageW, which returns only for a message, and
// the watchdog ticks on a thread timer of its own, armed by each request.
HANDLE ServeHooks(Watchdog& watchdog) noexcept {
    CInputHookManager& state = g_HookManager;
    HANDLE leave = nullptr;
    MSG msg;
    DWORD caller = 0;
    PostedRequest answerLater{}; // a touchpad request whose switch waits for the user's keys
    // A WM_QUIT that another program posts here is ignored like any other stray message: only
    // a request or an unload ends this thread, since its hooks end with it.
    while (GetMessageW(&msg, nullptr, 0, 0) != -1) {
        if (msg.hwnd != nullptr) {
            if (!watchdog.Take(msg)) {
                DispatchMessageW(&msg);
            }
        } else if (msg.message == kAskToLeaveMessage) {
            leave = reinterpret_cast<HANDLE>(msg.lParam);
            break;
        } else if (msg.message == kRequestMessage) {
            const PostedRequest& posted = *reinterpret_cast<const PostedRequest*>(msg.lParam);
            HookRequest& request = *posted.request;
            ApplyRequest(request);
            caller = request.callerThread;
            watchdog.AnnounceTo(caller);
            if (request.answerLater) {
                answerLater = posted;
            } else if (Answer(posted)) {
                break;
            } else {
                // After the answer: the hooks are in force, and the caller need not wait for
                // what the watchdog reads to start again.
                watchdog.Restart();
            }
        } else if (msg.message == WM_TIMER) {
            if (!TouchpadTimerFired(msg.wParam) && !LockTimerFired(msg.wParam)) {
                watchdog.Tick();
            }
        }
        // WM_TIMER comes only when no other message waits, so keys typed on and on (raw input
        // for the watchdog's sink) can hold it back for seconds: whatever message comes, a lock
        // that is due ends and a watchdog tick that is due is taken.
        EndLockIfDue();
        watchdog.TickIfDue();
        if (state.m_chord.toggled) {
            if (state.m_chord.endsLock) {
                EndLock(LockEnd::Chord);
            } else {
                AnnounceChord(caller);
            }
        }
        if (answerLater.request != nullptr && !answerLater.request->answerLater &&
            Answer(std::exchange(answerLater, PostedRequest{}))) {
            break;
        }
    }
    return leave;
}

DWORD WINAPI HookThreadMain(LPVOID parameter) {
    const ThreadStart start = *static_cast<const ThreadStart*>(parameter);
    // The hooks belong on the caller's desktop; this must come before the thread's queue.
    if (start.desktop != nullptr) {
        SetThreadDesktop(start.desktop);
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    // Before any hook or toggle: every key the library sends carries it.
    if (g_HookManager.m_ownInputMark == 0) {
        g_HookManager.m_ownInputMark = OwnInputMarkFrom(RandomBits());
    }
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
    HookThreadHandle& hookThread = g_HookManager.m_hookThread;
    const UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) {
        error = GetLastError();
        return false;
    }
    ThreadStart start{GetThreadDesktop(GetCurrentThreadId()), ready.Get()};
    hookThread.thread.Reset(
        CreateThread(nullptr, 0, HookThreadMain, &start, CREATE_SUSPENDED, &hookThread.id));
    if (!hookThread.thread) {
        error = GetLastError();
        hookThread.id = 0;
        return false;
    }
    // Time-critical before its first instruction: on a busy machine a thread of normal priority
    // can wait for a core longer than the system waits for a hook. It never spins, so it takes
    // from the others only the little its hooks need.
    SetThreadPriority(hookThread.thread.Get(), THREAD_PRIORITY_TIME_CRITICAL);
    if (ResumeThread(hookThread.thread.Get()) == static_cast<DWORD>(-1)) {
        error = GetLastError(); // it never ran, so it holds nothing
        TerminateThread(hookThread.thread.Get(), 0);
        hookThread = {};
        return false;
    }
    const HANDLE started[] = {ready.Get(), hookThread.thread.Get()};
    WaitForMultipleObjects(2, started, FALSE, INFINITE);
    return true;
}

void HandOver(HookRequest& request) noexcept {
    HookThreadHandle& hookThread = g_HookManager.m_hookThread;
    if (!hookThread.thread) {
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
    if (!done ||
        !PostThreadMessageW(hookThread.id, kRequestMessage, 0, reinterpret_cast<LPARAM>(&posted))) {
        request.error = GetLastError();
    } else {
        // A thread that could not start ends at once; the request then fails instead of
        // waiting for ever.
        const HANDLE either[] = {done.Get(), hookThread.thread.Get()};
        if (WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0) {
            request.lastHookGone = true;
        }
    }
    if (request.lastHookGone) {
        WaitForSingleObject(hookThread.thread.Get(), INFINITE);
        hookThread = {};
    }
}

} // namespace

void PostToThreadWindows(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    struct Post {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } post{message, wParam, lParam};
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM context) -> BOOL {
            const auto& what = *reinterpret_cast<const Post*>(context);
            PostMessageW(window, what.message, what.wParam, what.lParam);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&post));
}

void TellChord(DWORD caller, bool released, DWORD touchpadError) noexcept {
    static const UINT message = RegisterWindowMessageW(HELPER_CHORD_MESSAGE);
    PostToThreadWindows(caller, message,
                        (released ? HELPER_CHORD_RELEASED : HELPER_CHORD_RESTORED) |
                            (touchpadError != 0 ? HELPER_CHORD_TOUCHPAD_FAILED : 0),
                        static_cast<LPARAM>(touchpadError));
}

void CallOnHookThread(HookRequest& request) noexcept {
    AcquireSRWLockExclusive(&g_HookManager.m_exportLock);
    HandOver(request);
    ReleaseSRWLockExclusive(&g_HookManager.m_exportLock);
}
