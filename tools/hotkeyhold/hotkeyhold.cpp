// Test-only: holds global hot keys the way another program would, so tests can make a key
// combination unavailable, or learn whether the program under test holds one.
//
//   hotkeyhold.exe MOD:VK [MOD:VK ...]     (hexadecimal RegisterHotKey modifiers and key)
//
// Prints "held MOD:VK" or "busy MOD:VK" for each, then "ready", and keeps what it holds until
// its standard input ends. A press of a held combination prints "pressed ID".
#include "ToolSupport.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {
DWORD g_mainThread = 0;
}

int main(int argc, char** argv) {
    g_mainThread = GetCurrentThreadId();
    for (int i = 1; i < argc; ++i) {
        const std::string pair = argv[i];
        const auto colon = pair.find(':');
        if (colon == std::string::npos) {
            std::printf("error %s\n", argv[i]);
            return 2;
        }
        const auto modifiers = tools::ParseUnsigned(pair.substr(0, colon), 16);
        const auto key = tools::ParseUnsigned(pair.substr(colon + 1), 16);
        if (!modifiers || !key) {
            std::printf("error %s\n", argv[i]);
            return 2;
        }
        // Thread hot keys: their presses come to this thread's queue.
        const bool held = RegisterHotKey(nullptr, i, static_cast<UINT>(*modifiers),
                                         static_cast<UINT>(*key)) != FALSE;
        std::printf("%s %s\n", held ? "held" : "busy", argv[i]);
    }
    std::printf("ready\n");
    std::fflush(stdout);

    // The end of standard input ends the program and releases the keys.
    std::thread([] {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        }
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }).detach();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_HOTKEY) {
            std::printf("pressed %llu\n", static_cast<unsigned long long>(msg.wParam));
            std::fflush(stdout);
        }
    }
    return 0;
}
