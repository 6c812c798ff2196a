// Test-only: plays the system's precision touchpad by its documented contract (hardware
// guideline "Enable or Disable Toggle Button"; TOUCHPAD_PARAMETERS, whose touchpadEnabled a
// write ignores):
// - its state is HKCU\Software\Microsoft\Windows\CurrentVersion\PrecisionTouchPad\Status,
//   value Enabled (1 on, 0 off), kept here;
// - it toggles when Ctrl+Win+F24 reaches the system, that is after every program's low-level
//   keyboard hook. Started before the program under test, this tool's hook is called after
//   that program's (the newest hook is called first), so it sees only what that one passes.
//
//   touchpadsys.exe ENABLED [refuse]
//
// Sets Enabled, installs its hook and prints "ready". Each Ctrl+Win+F24 that reaches it prints
// "toggle N" (N from 1) and flips Enabled, unless "refuse" was given: a touchpad that does not
// take the toggle. When its standard input ends it prints "total N" and ends.
#include "ToolSupport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr const wchar_t* kStatusKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\PrecisionTouchPad\\Status";
constexpr UINT kToggleMessage = WM_APP + 1;

DWORD g_mainThread = 0;
HHOOK g_hook = nullptr;
bool g_ctrl = false;
bool g_win = false;

void SetEnabled(DWORD enabled) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kStatusKey, L"Enabled", REG_DWORD, &enabled, sizeof enabled);
}

DWORD Enabled() {
    DWORD value = 1;
    DWORD size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, kStatusKey, L"Enabled", RRF_RT_REG_DWORD, nullptr, &value,
                 &size);
    return value;
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        switch (key.vkCode) {
        case VK_CONTROL:
        case VK_LCONTROL:
        case VK_RCONTROL:
            g_ctrl = down;
            break;
        case VK_LWIN:
        case VK_RWIN:
            g_win = down;
            break;
        case VK_F24:
            if (down && g_ctrl && g_win) {
                PostThreadMessageW(g_mainThread, kToggleMessage, 0, 0);
            }
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    g_mainThread = GetCurrentThreadId();
    const auto initial = argc > 1 ? tools::ParseUnsigned(argv[1], 10) : std::nullopt;
    if (!initial) {
        std::fputs("usage: touchpadsys.exe ENABLED [refuse]\n", stderr);
        return 2;
    }
    const bool refuse = argc > 2 && std::strcmp(argv[2], "refuse") == 0;
    SetEnabled(*initial != 0 ? 1 : 0);
    g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardProc, GetModuleHandleW(nullptr), 0);
    if (g_hook == nullptr) {
        std::printf("error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::thread([] {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        }
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }).detach();

    unsigned toggles = 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kToggleMessage) {
            ++toggles;
            if (!refuse) {
                SetEnabled(Enabled() != 0 ? 0 : 1);
            }
            std::printf("toggle %u\n", toggles);
            std::fflush(stdout);
        }
    }
    UnhookWindowsHookEx(g_hook);
    std::printf("total %u\n", toggles);
    std::fflush(stdout);
    return 0;
}
