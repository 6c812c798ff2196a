// The floor for click latency: the smallest low-level mouse hook that passes every event on.
#include <windows.h>

#include <cstdio>

int main() {
    const HHOOK hook = SetWindowsHookExW(
        WH_MOUSE_LL,
        [](int code, WPARAM w, LPARAM l) { return CallNextHookEx(nullptr, code, w, l); },
        GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) {
        return 1;
    }
    // The hook is called from here on, while the loop below pumps.
    std::printf("ready\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    }
    UnhookWindowsHookEx(hook);
    return 0;
}
