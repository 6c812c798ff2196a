// The floor for click latency: the smallest low-level mouse hook that passes every event on.
// It starts hooked; the lines "off" and "on" on its input take the hook out and put it back
// (answered "ok"), so that the benchmark can switch between it and Quelvant without starting
// either again. With --read-pointer its thread reads the pointer's place once, as Quelvant's
// hook thread does at every watchdog tick: under Wine that gives the thread a display
// connection of its own, which its every wake-up then looks at. With --keyboard it hooks the
// keyboard instead, the yardstick for Quelvant at rest with keys blocked.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kSwitch = WM_APP;

LRESULT CALLBACK PassOn(int code, WPARAM w, LPARAM l) {
    return CallNextHookEx(nullptr, code, w, l);
}

DWORD WINAPI ReadCommands(void* mainThread) {
    char line[32];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const bool on = std::strncmp(line, "on", 2) == 0;
        if (on || std::strncmp(line, "off", 3) == 0) {
            PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(mainThread)), kSwitch,
                               on, 0);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the queue, before the reader posts to it
    const int kind =
        argc > 1 && std::strcmp(argv[1], "--keyboard") == 0 ? WH_KEYBOARD_LL : WH_MOUSE_LL;
    HHOOK hook = SetWindowsHookExW(kind, PassOn, GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) {
        return 1;
    }
    const HANDLE reader = CreateThread(
        nullptr, 0, ReadCommands,
        reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId())), 0, nullptr);
    if (reader != nullptr) {
        CloseHandle(reader);
    }
    if (argc > 1 && std::strcmp(argv[1], "--read-pointer") == 0) {
        // Wine asks the display only when the pointer has stood still for 100 ms.
        Sleep(150);
        POINT at;
        GetCursorPos(&at);
    }
    // The hook is called from here on, while the loop below pumps.
    std::printf("ready\n");
    std::fflush(stdout);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message != kSwitch) {
            continue;
        }
        if (msg.wParam && hook == nullptr) {
            hook = SetWindowsHookExW(kind, PassOn, GetModuleHandleW(nullptr), 0);
        } else if (!msg.wParam && hook != nullptr) {
            UnhookWindowsHookEx(hook);
            hook = nullptr;
        }
        std::printf("%s\n", (hook != nullptr) == (msg.wParam != 0) ? "ok" : "failed");
        std::fflush(stdout);
    }
    if (hook != nullptr) {
        UnhookWindowsHookEx(hook);
    }
    return 0;
}
