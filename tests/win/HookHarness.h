// What the Windows-side hook tests stand on: a thread that pumps messages and records, with
// low-level hooks of its own, every simulated event that gets that far; senders that tag each
// event so that it can be found again; and a probe that tells which events were discarded.
#pragma once

#include "Handle.h"

#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace hooktest {

// The longest any wait in these tests may take before it counts as a failure.
inline constexpr std::chrono::seconds kDeadline{10};

inline void RemoveHook(HHOOK hook) noexcept {
    UnhookWindowsHookEx(hook);
}
inline void CloseDesktopHandle(HDESK desktop) noexcept {
    CloseDesktop(desktop);
}
inline void ReleaseLibrary(HMODULE module) noexcept {
    FreeLibrary(module);
}
using UniqueHook = UniqueHandle<HHOOK, RemoveHook>;
using UniqueDesktop = UniqueHandle<HDESK, CloseDesktopHandle>;
using UniqueLibrary = UniqueHandle<HMODULE, ReleaseLibrary>;

enum class Device { Mouse, Keyboard };

struct SeenEvent {
    Device device;
    WPARAM message;
    DWORD flags;
    ULONG_PTR tag;
    // How deep Helper's hook thread was in its stack when the recorder got the event, 0 when
    // it has none. That thread waits inside CallNextHookEx while its hook hands an event on,
    // and every further hook of its own in front adds a frame, so equal depths for the same
    // device mean the same number of Helper's hooks in front of the recorder.
    std::ptrdiff_t stackDepth;
};

// The thread Helper.dll keeps its hooks on, found by its message-only window; 0 when none.
inline DWORD HelperHookThread() {
    const HWND sink = FindWindowExW(HWND_MESSAGE, nullptr, L"QuelvantHookThread", nullptr);
    return sink != nullptr ? GetWindowThreadProcessId(sink, nullptr) : 0;
}

// Bytes between the top of Helper's hook thread's stack and where it stands now.
inline std::ptrdiff_t HelperThreadDepth() {
    const DWORD id = HelperHookThread();
    const UniqueKernelHandle owner(
        id != 0 ? OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION,
                             FALSE, id)
                : nullptr);
    if (!owner) {
        return 0;
    }
    const HANDLE thread = owner.Get();
    struct {
        NTSTATUS exitStatus;
        NT_TIB* teb;
        CLIENT_ID clientId;
        KAFFINITY affinity;
        LONG priority;
        LONG basePriority;
    } basic{};
    std::ptrdiff_t depth = 0;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    if (NtQueryInformationThread(thread, ThreadBasicInformation, &basic, sizeof basic, nullptr) ==
            0 &&
        SuspendThread(thread) != static_cast<DWORD>(-1)) {
        if (GetThreadContext(thread, &context)) {
            depth = static_cast<const char*>(basic.teb->StackBase) -
                    reinterpret_cast<const char*>(context.Rsp);
        }
        ResumeThread(thread);
    }
    return depth;
}

// A thread with a message queue that it keeps pumping: low-level hooks are called on the
// thread that installed them, and only while it waits for messages. Its recorder hooks are
// installed before anything else runs on it, so they are called last and see exactly what
// every later hook passed on. Work for the thread (the calls of Helper's exports above all)
// goes through Run.
class HookThread {
public:
    HookThread() {
        std::promise<DWORD> started;
        std::future<DWORD> threadId = started.get_future();
        thread_ = std::thread([this, &started] { Main(started); });
        if (threadId.wait_for(kDeadline) != std::future_status::ready) {
            // The thread still refers to this object; nothing sound is left but to stop.
            std::fputs("hook thread did not start in time\n", stderr);
            std::abort();
        }
        try {
            threadId_ = threadId.get();
        } catch (...) {
            thread_.join();
            throw;
        }
    }

    HookThread(const HookThread&) = delete;
    HookThread& operator=(const HookThread&) = delete;

    ~HookThread() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

    DWORD ThreadId() const noexcept { return threadId_; }

    // Runs task on the hook thread and hands back its result.
    template <class F> std::invoke_result_t<F&> Run(F task) {
        using Result = std::invoke_result_t<F&>;
        auto job = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> done = job->get_future();
        {
            const std::lock_guard lock(mutex_);
            tasks_.emplace_back([job] { (*job)(); });
        }
        if (!PostThreadMessageW(threadId_, kRunTasks, 0, 0)) {
            throw std::runtime_error("cannot wake the hook thread: error " +
                                     std::to_string(GetLastError()));
        }
        if (done.wait_for(kDeadline) != std::future_status::ready) {
            throw std::runtime_error("the hook thread did not finish a task in time");
        }
        return done.get();
    }

    std::optional<SeenEvent> Find(ULONG_PTR tag) const {
        const std::lock_guard lock(mutex_);
        return FindLocked(tag);
    }

    std::optional<SeenEvent> WaitFor(ULONG_PTR tag) const {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, kDeadline, [&] { return FindLocked(tag).has_value(); });
        return FindLocked(tag);
    }

private:
    static constexpr UINT kRunTasks = WM_APP + 1;

    void Main(std::promise<DWORD>& started) {
        MSG msg;
        // The queue has to exist before anyone posts to this thread.
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        self_ = this;
        const HMODULE exe = GetModuleHandleW(nullptr);
        const UniqueHook mouse(SetWindowsHookExW(WH_MOUSE_LL, &RecordMouse, exe, 0));
        const DWORD mouseError = GetLastError();
        const UniqueHook keyboard(SetWindowsHookExW(WH_KEYBOARD_LL, &RecordKeyboard, exe, 0));
        if (!mouse || !keyboard) {
            const DWORD error = mouse ? GetLastError() : mouseError;
            started.set_exception(std::make_exception_ptr(std::runtime_error(
                "cannot install the recorder hooks: error " + std::to_string(error))));
            return;
        }
        started.set_value(GetCurrentThreadId()); // the promise is gone after this
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == kRunTasks) {
                RunQueuedTasks();
            }
        }
    }

    void RunQueuedTasks() {
        for (;;) {
            std::function<void()> task;
            {
                const std::lock_guard lock(mutex_);
                if (tasks_.empty()) {
                    return;
                }
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    // Nothing the tests simulate is meant for a window, so the recorder ends every event.
    static LRESULT CALLBACK RecordMouse(int code, WPARAM wParam, LPARAM lParam) {
        if (code != HC_ACTION) {
            return CallNextHookEx(nullptr, code, wParam, lParam);
        }
        const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        self_->Record({Device::Mouse, wParam, event.flags, event.dwExtraInfo, HelperThreadDepth()});
        return 1;
    }

    static LRESULT CALLBACK RecordKeyboard(int code, WPARAM wParam, LPARAM lParam) {
        if (code != HC_ACTION) {
            return CallNextHookEx(nullptr, code, wParam, lParam);
        }
        const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        self_->Record(
            {Device::Keyboard, wParam, event.flags, event.dwExtraInfo, HelperThreadDepth()});
        return 1;
    }

    void Record(const SeenEvent& event) {
        {
            const std::lock_guard lock(mutex_);
            seen_.push_back(event);
        }
        arrived_.notify_all();
    }

    std::optional<SeenEvent> FindLocked(ULONG_PTR tag) const {
        for (const SeenEvent& event : seen_) {
            if (event.tag == tag) {
                return event;
            }
        }
        return std::nullopt;
    }

    // The hook procedures are plain functions called on this thread: they find their
    // recorder here.
    static inline thread_local HookThread* self_ = nullptr;

    std::thread thread_;
    DWORD threadId_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<SeenEvent> seen_;
    std::deque<std::function<void()>> tasks_;
};

// Every simulated event carries a tag of its own in dwExtraInfo; input from anywhere else
// carries none of them.
inline ULONG_PTR NewTag() {
    static std::atomic<ULONG_PTR> next{0x51A70000};
    return next++;
}

inline void Inject(const INPUT& input) {
    INPUT copy = input;
    if (SendInput(1, &copy, sizeof copy) != 1) {
        throw std::runtime_error("SendInput failed: error " + std::to_string(GetLastError()));
    }
}

inline ULONG_PTR SendMouse(DWORD inputFlags, DWORD mouseData) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    // A move needs a distance to be a move at all; one pixel to the right.
    input.mi.dx = (inputFlags & MOUSEEVENTF_MOVE) != 0 ? 1 : 0;
    input.mi.mouseData = mouseData;
    input.mi.dwFlags = inputFlags;
    input.mi.dwExtraInfo = NewTag();
    Inject(input);
    return input.mi.dwExtraInfo;
}

inline ULONG_PTR SendKey(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    input.ki.dwExtraInfo = NewTag();
    Inject(input);
    return input.ki.dwExtraInfo;
}

struct MouseKind {
    const char* name;
    DWORD inputFlags;
    DWORD mouseData;
    WPARAM message; // what a low-level mouse hook gets as wParam
};

inline constexpr MouseKind kMouseKinds[] = {
    {"move", MOUSEEVENTF_MOVE, 0, WM_MOUSEMOVE},
    {"left down", MOUSEEVENTF_LEFTDOWN, 0, WM_LBUTTONDOWN},
    {"left up", MOUSEEVENTF_LEFTUP, 0, WM_LBUTTONUP},
    {"right down", MOUSEEVENTF_RIGHTDOWN, 0, WM_RBUTTONDOWN},
    {"right up", MOUSEEVENTF_RIGHTUP, 0, WM_RBUTTONUP},
    {"middle down", MOUSEEVENTF_MIDDLEDOWN, 0, WM_MBUTTONDOWN},
    {"middle up", MOUSEEVENTF_MIDDLEUP, 0, WM_MBUTTONUP},
    {"wheel", MOUSEEVENTF_WHEEL, WHEEL_DELTA, WM_MOUSEWHEEL},
    {"horizontal wheel", MOUSEEVENTF_HWHEEL, WHEEL_DELTA, WM_MOUSEHWHEEL},
    {"x down", MOUSEEVENTF_XDOWN, XBUTTON1, WM_XBUTTONDOWN},
    {"x up", MOUSEEVENTF_XUP, XBUTTON1, WM_XBUTTONUP},
};

struct KeyKind {
    const char* name;
    WORD vk;
    bool up;
    WPARAM message; // what a low-level keyboard hook gets as wParam
};

// Every press is followed by its release, so no key is left down whatever gets discarded.
inline constexpr KeyKind kKeyKinds[] = {
    {"A down", 'A', false, WM_KEYDOWN},           {"A up", 'A', true, WM_KEYUP},
    {"F5 down", VK_F5, false, WM_KEYDOWN},        {"F5 up", VK_F5, true, WM_KEYUP},
    {"alt down", VK_LMENU, false, WM_SYSKEYDOWN}, {"alt up", VK_LMENU, true, WM_KEYUP},
};

inline std::vector<std::string> AllKeyKindNames() {
    std::vector<std::string> names;
    for (const KeyKind& kind : kKeyKinds) {
        names.emplace_back(kind.name);
    }
    return names;
}

// The horizontal wheel is never discarded by Helper's mouse hook, whatever the filter word
// and flags, so it closes every probe: once it has arrived, everything sent before it has
// been through the hooks.
inline SeenEvent SendMarker(const HookThread& hooks) {
    const ULONG_PTR tag = SendMouse(MOUSEEVENTF_HWHEEL, WHEEL_DELTA);
    const std::optional<SeenEvent> seen = hooks.WaitFor(tag);
    if (!seen) {
        throw std::runtime_error("the marker (a horizontal wheel turn) never reached the recorder");
    }
    return *seen;
}

struct ProbeResult {
    std::vector<std::string> discardedMouse; // names of the mouse kinds that did not arrive
    std::vector<std::string> discardedKeys;
    std::ptrdiff_t markerDepth = 0;
    std::optional<std::ptrdiff_t> keyDepth; // of the first key that arrived
};

// Sends one event of every mouse kind and every key kind, then the marker, and reports which
// of them never reached the recorder.
inline ProbeResult Probe(const HookThread& hooks) {
    std::vector<std::pair<const MouseKind*, ULONG_PTR>> mouse;
    for (const MouseKind& kind : kMouseKinds) {
        mouse.emplace_back(&kind, SendMouse(kind.inputFlags, kind.mouseData));
    }
    std::vector<std::pair<const KeyKind*, ULONG_PTR>> keys;
    for (const KeyKind& kind : kKeyKinds) {
        keys.emplace_back(&kind, SendKey(kind.vk, kind.up));
    }
    ProbeResult result;
    result.markerDepth = SendMarker(hooks).stackDepth;
    for (const auto& [kind, tag] : mouse) {
        if (const std::optional<SeenEvent> seen = hooks.Find(tag)) {
            EXPECT_EQ(seen->device, Device::Mouse) << kind->name;
            EXPECT_EQ(seen->message, kind->message) << kind->name;
        } else {
            result.discardedMouse.emplace_back(kind->name);
        }
    }
    for (const auto& [kind, tag] : keys) {
        if (const std::optional<SeenEvent> seen = hooks.Find(tag)) {
            EXPECT_EQ(seen->device, Device::Keyboard) << kind->name;
            EXPECT_EQ(seen->message, kind->message) << kind->name;
            if (!result.keyDepth) {
                result.keyDepth = seen->stackDepth;
            }
        } else {
            result.discardedKeys.emplace_back(kind->name);
        }
    }
    return result;
}

} // namespace hooktest
