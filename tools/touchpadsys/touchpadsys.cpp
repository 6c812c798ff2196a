// Test-only: plays the system's precision touchpad by its documented contract (hardware
// guideline "Enable or Disable Toggle Button"; TOUCHPAD_PARAMETERS, whose touchpadEnabled a
// write ignores):
// - its state is HKCU\Software\Microsoft\Windows\CurrentVersion\PrecisionTouchPad\Status,
//   value Enabled (1 on, 0 off), kept here;
// - it toggles when Ctrl+Win+F24 reaches the system, that is after every program's low-level
//   keyboard hook. Started before the program under test, this tool's hook is called after
//   that program's (the newest hook is called first), so it sees only what that one passes.
//
//   touchpadsys.exe ENABLED [refuse | late]
//
// Sets Enabled, installs its hook and prints "ready". Each Ctrl+Win+F24 that reaches it with no
// other key held prints "toggle N" (N from 1) and flips Enabled, unless "refuse" was given: a
// touchpad that does not take the toggle; with "late" it flips 1.5 s after the keys, and prints
// then. With another key held (Alt, Shift, a key the user holds) it is another combination: it
// prints "other held 0xVK" and nothing changes. Lines on its standard input: "lock" plays a
// locked session, where keys sent reach no one ("locked N" for each toggle then), and "unlock"
// ends it; each is answered with the same word. When its standard input ends it prints
// "total N" (the toggles taken) and ends. Before each of these lines about a toggle, the
// extra information its F24 carried, when any: "mark 0xX" (what any program's hook can read).
#include "ToolSupport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr const wchar_t* kStatusKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\PrecisionTouchPad\\Status";
constexpr UINT kToggleMessage = WM_APP + 1; // wParam: another key held, or 0
constexpr UINT kLockMessage = WM_APP + 2;   // wParam: 1 locked, 0 unlocked
constexpr UINT kLateMs = 1500;

DWORD g_mainThread = 0;
HHOOK g_hook = nullptr;
bool g_down[256] = {};

bool IsCtrl(DWORD vk) {
    return vk == VK_CONTROL || vk == VK_LCONTROL || vk == VK_RCONTROL;
}

bool IsWin(DWORD vk) {
    return vk == VK_LWIN || vk == VK_RWIN;
}

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
        const DWORD vk = key.vkCode & 0xFF;
        if (vk == VK_F24 && down) {
            bool ctrl = false;
            bool win = false;
            DWORD other = 0;
            for (DWORD held = 0; held < 256; ++held) {
                if (!g_down[held] || held == VK_F24) {
                    continue;
                }
                ctrl = ctrl || IsCtrl(held);
                win = win || IsWin(held);
                other = IsCtrl(held) || IsWin(held) ? other : held;
            }
            if (ctrl && win) {
                PostThreadMessageW(g_mainThread, kToggleMessage, other,
                                   static_cast<LPARAM>(key.dwExtraInfo));
            }
        }
        g_down[vk] = down;
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
    const bool late = argc > 2 && std::strcmp(argv[2], "late") == 0;
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
            if (std::strncmp(buffer, "lock", 4) == 0 || std::strncmp(buffer, "unlock", 6) == 0) {
                PostThreadMessageW(g_mainThread, kLockMessage, buffer[0] == 'l' ? 1 : 0, 0);
            }
        }
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }).detach();

    unsigned toggles = 0;
    unsigned refused = 0;
    bool locked = false;
    const auto take = [&] {
        ++toggles;
        if (!refuse) {
            SetEnabled(Enabled() != 0 ? 0 : 1);
        }
        std::printf("toggle %u\n", toggles);
    };
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kToggleMessage && msg.lParam != 0) {
            std::printf("mark 0x%llX\n", static_cast<unsigned long long>(msg.lParam));
        }
        if (msg.message == kToggleMessage && msg.wParam != 0) {
            std::printf("other held 0x%02X\n", static_cast<unsigned>(msg.wParam));
        } else if (msg.message == kToggleMessage && locked) {
            std::printf("locked %u\n", ++refused);
        } else if (msg.message == kToggleMessage && late) {
            SetTimer(nullptr, 0, kLateMs, nullptr);
        } else if (msg.message == kToggleMessage) {
            take();
        } else if (msg.message == WM_TIMER) {
            KillTimer(nullptr, msg.wParam);
            take();
        } else if (msg.message == kLockMessage) {
            locked = msg.wParam != 0;
            std::printf(locked ? "lock\n" : "unlock\n");
        }
        std::fflush(stdout);
    }
    UnhookWindowsHookEx(g_hook);
    std::printf("total %u\n", toggles);
    std::fflush(stdout);
    return 0;
}
