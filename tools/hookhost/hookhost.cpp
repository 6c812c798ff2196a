// Test host for Helper.dll: calls the two exports on command, from the thread that pumps
// messages, as the real program does. Low-level hook procedures run on the installing thread
// only while it retrieves messages, so commands are read on a second thread and handed to
// the main thread as thread messages.
//
// Commands, one per line on standard input; each answer is one flushed line:
//   mouse FILTER ALLOW [ERR]  GlobalDisableMouse(FILTER hex, error variable preset to ERR
//                             (default 0), ALLOW)          -> "mouse rc=<r> err=<e>"
//   keyboard DISABLE ALLOW    GlobalDisableKeyboard(...)   -> "keyboard rc=<r>"
//   ping                      -> "pong" (the main thread is pumping)
//   drop                      UnhookWindowsHookEx on every hook handle value of the session,
//                             as if the system had dropped them -> "dropped n=<count>"
//   stall TITLE|- MS          suspends for MS ms the thread of the window titled TITLE, or with
//                             "-" Helper.dll's hook thread -> "stalled t=<us>", later
//                             "resumed t=<us>" (times as the probe reports them)
//   priority TITLE|-          GetThreadPriority of that thread, read from outside -> "priority=<p>"
//   suspect KINDS             the test build of Helper.dll only: its watchdog's next tick
//                             suspects the kinds (1 mouse, 2 keyboard) of the process that owns
//                             the first hook thread found -> "suspected reinstalled=<kinds>
//                             announced=<kinds>" once that tick is done
//   quit (or end of input)    -> "bye", then the process ends and the library unloads
#include "Handle.h"
#include "Helper.h"
#include "ToolSupport.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;
constexpr UINT kEndOfInputMessage = WM_APP + 2;

// Tests poll the output line by line, so every answer is flushed at once.
__attribute__((format(printf, 1, 2))) void Answer(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Reads standard input line by line; each line travels to the main thread in a heap string
// that the main thread takes over.
DWORD WINAPI ReadCommands(LPVOID parameter) {
    const DWORD mainThread = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(parameter));
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        auto line = std::make_unique<std::string>(buffer);
        if (PostThreadMessageW(mainThread, kCommandMessage, 0,
                               reinterpret_cast<LPARAM>(line.get()))) {
            static_cast<void>(line.release());
        }
    }
    PostThreadMessageW(mainThread, kEndOfInputMessage, 0, 0);
    return 0;
}

// Runs one command line; returns false when the host is to end.
bool RunCommand(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    std::string first;
    std::string second;
    std::string third;
    words >> command >> first >> second >> third;
    if (command.empty()) {
        return true;
    }
    if (command == "mouse") {
        const auto filter = tools::ParseUnsigned(first, 16);
        const auto allow = tools::ParseUnsigned(second, 0);
        const auto preset =
            third.empty() ? std::optional<unsigned long>(0) : tools::ParseUnsigned(third, 0);
        if (!filter || *filter > 0xFFFF || !allow || !preset) {
            Answer("error usage: mouse FILTER ALLOW [ERR]");
            return true;
        }
        DWORD error = static_cast<DWORD>(*preset);
        const int rc =
            GlobalDisableMouse(static_cast<WORD>(*filter), error, static_cast<BOOL>(*allow));
        Answer("mouse rc=%d err=%lu", rc, static_cast<unsigned long>(error));
    } else if (command == "keyboard") {
        const auto disable = tools::ParseUnsigned(first, 0);
        const auto allow = tools::ParseUnsigned(second, 0);
        if (!disable || !allow) {
            Answer("error usage: keyboard DISABLE ALLOW");
            return true;
        }
        const int rc =
            GlobalDisableKeyboard(static_cast<BOOL>(*disable), static_cast<BOOL>(*allow));
        Answer("keyboard rc=%d", rc);
    } else if (command == "drop") {
        // Wine takes a handle value without its generation for any generation.
        int dropped = 0;
        for (UINT_PTR index = 0; index < 0x4000; ++index) {
            if (UnhookWindowsHookEx(reinterpret_cast<HHOOK>(0x20 + 2 * index))) {
                ++dropped;
            }
        }
        Answer("dropped n=%d", dropped);
    } else if (command == "stall") {
        const auto ms = tools::ParseUnsigned(second, 10);
        const HWND window =
            first == "-" ? FindWindowExW(HWND_MESSAGE, nullptr, L"QuelvantHookThread", nullptr)
                         : FindWindowA(nullptr, first.c_str());
        const UniqueKernelHandle thread(window != nullptr && ms
                                            ? OpenThread(THREAD_SUSPEND_RESUME, FALSE,
                                                         GetWindowThreadProcessId(window, nullptr))
                                            : nullptr);
        if (!thread || SuspendThread(thread.Get()) == static_cast<DWORD>(-1)) {
            Answer("error cannot stall %s (%lu)", first.c_str(), GetLastError());
            return true;
        }
        Answer("stalled t=%lld", tools::NowMicroseconds());
        Sleep(static_cast<DWORD>(*ms));
        const long long resumed = tools::NowMicroseconds();
        ResumeThread(thread.Get());
        Answer("resumed t=%lld", resumed);
    } else if (command == "priority") {
        const HWND window =
            first == "-" ? FindWindowExW(HWND_MESSAGE, nullptr, L"QuelvantHookThread", nullptr)
                         : FindWindowA(nullptr, first.c_str());
        const UniqueKernelHandle thread(window != nullptr
                                            ? OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                                                         GetWindowThreadProcessId(window, nullptr))
                                            : nullptr);
        const int priority =
            thread ? GetThreadPriority(thread.Get()) : THREAD_PRIORITY_ERROR_RETURN;
        if (priority == THREAD_PRIORITY_ERROR_RETURN) {
            Answer("error cannot read the priority of %s (%lu)", first.c_str(), GetLastError());
            return true;
        }
        Answer("priority=%d", priority);
    } else if (command == "suspect") {
        const auto kinds = tools::ParseUnsigned(first, 0);
        const UINT message = RegisterWindowMessageW(L"Quelvant.Seam.Suspect");
        const HWND sink = FindWindowExW(HWND_MESSAGE, nullptr, L"QuelvantHookThread", nullptr);
        if (!kinds || sink == nullptr ||
            !PostMessageW(sink, message, *kinds, static_cast<LPARAM>(GetCurrentThreadId()))) {
            Answer("error cannot ask for a suspicion (%lu)", GetLastError());
            return true;
        }
        // The answer comes as a thread message after the tick: at most a few intervals.
        const DWORD deadline = GetTickCount() + 3000;
        MSG reply;
        while (!PeekMessageW(&reply, nullptr, message, message, PM_REMOVE)) {
            const DWORD now = GetTickCount();
            if (static_cast<LONG>(deadline - now) <= 0) {
                Answer("error no answer to the suspicion");
                return true;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, deadline - now, QS_POSTMESSAGE);
        }
        Answer("suspected reinstalled=%u announced=%u", static_cast<unsigned>(reply.wParam),
               static_cast<unsigned>(reply.lParam));
    } else if (command == "ping") {
        Answer("pong");
    } else if (command == "quit") {
        return false;
    } else {
        Answer("error unknown command: %s", command.c_str());
    }
    return true;
}

} // namespace

int main() {
    // The thread needs its message queue before the reader may post to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    const UniqueKernelHandle reader(CreateThread(
        nullptr, 0, ReadCommands,
        reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(GetCurrentThreadId())), 0, nullptr));
    if (!reader) {
        Answer("error cannot start the reader thread (%lu)", GetLastError());
        return 1;
    }
    Answer("ready pid=%lu", GetCurrentProcessId());

    bool running = true;
    while (running && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kCommandMessage) {
            const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(msg.lParam));
            running = RunCommand(*line);
        } else if (msg.message == kEndOfInputMessage) {
            running = false;
        } else {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Commands that came after "quit" are dropped, their strings with them.
    while (PeekMessageW(&msg, nullptr, kCommandMessage, kCommandMessage, PM_REMOVE)) {
        delete reinterpret_cast<std::string*>(msg.lParam);
    }
    Answer("bye");
    // The reader may still be blocked on standard input; ending the process ends it, and the
    // library's unload removes whatever hooks are left.
    return 0;
}
