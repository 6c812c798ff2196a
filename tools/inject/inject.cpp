// Test driver: sends simulated mouse and keyboard input with SendInput, so low-level hooks see
// it marked as injected.
//
//   inject.exe ACTION [ACTION...]
//
//   moveto X Y          move the pointer to screen pixel X,Y (absolute)
//   move DX DY          move the pointer by DX,DY pixels
//   click B | dblclick B | down B | up B     B: left, right, middle, x1, x2
//   wheel N | hwheel N  turn the vertical / horizontal wheel by N notches (negative: back)
//   key VK | keydown VK | keyup VK           VK: virtual-key code, decimal or 0x hex
//   extra X             the events after it carry dwExtraInfo X (touch 0xFF515780, pen
//                       0xFF515700; a mark copied from another program's keys), until the
//                       next "extra"
//
// All actions go out in one SendInput call, in the order given, so they reach the hooks in
// that order. Prints "sent=<n> of <m> err=<e>"; exits 0 only when every event was sent.
#include "ToolSupport.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

struct Button {
    const char* name;
    DWORD down;
    DWORD up;
    DWORD data;
};

constexpr Button kButtons[] = {
    {"left", MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 0},
    {"right", MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 0},
    {"middle", MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0},
    {"x1", MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON1},
    {"x2", MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON2},
};

const Button* FindButton(const char* name) {
    for (const Button& button : kButtons) {
        if (std::strcmp(button.name, name) == 0) {
            return &button;
        }
    }
    return nullptr;
}

ULONG_PTR g_extraInfo = 0; // set by "extra", carried by every mouse event after it

INPUT Mouse(DWORD flags, LONG dx = 0, LONG dy = 0, DWORD data = 0) {
    INPUT input{};
    input.mi.dwExtraInfo = g_extraInfo;
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.mouseData = data;
    input.mi.dwFlags = flags;
    return input;
}

INPUT Key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    input.ki.dwExtraInfo = g_extraInfo;
    return input;
}

// Absolute coordinates are 0..65535 across the primary screen.
LONG Normalise(long pixel, int extent) {
    return extent > 1 ? MulDiv(static_cast<int>(pixel), 65535, extent - 1) : 0;
}

int Usage() {
    std::fputs("usage: inject.exe ACTION [ACTION...]\n"
               "  moveto X Y | move DX DY | click B | dblclick B | down B | up B\n"
               "  wheel N | hwheel N | key VK | keydown VK | keyup VK | extra X\n"
               "  B: left right middle x1 x2\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<INPUT> inputs;
    for (int i = 1; i < argc; ++i) {
        const char* action = argv[i];
        const auto is = [action](const char* name) { return std::strcmp(action, name) == 0; };
        const auto needs = [&](int count) { return i + count < argc; };
        if (is("moveto") || is("move")) {
            if (!needs(2)) {
                return Usage();
            }
            const auto x = tools::ParseSigned(argv[i + 1]);
            const auto y = tools::ParseSigned(argv[i + 2]);
            if (!x || !y) {
                return Usage();
            }
            i += 2;
            if (is("moveto")) {
                inputs.push_back(Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                                       Normalise(*x, GetSystemMetrics(SM_CXSCREEN)),
                                       Normalise(*y, GetSystemMetrics(SM_CYSCREEN))));
            } else {
                inputs.push_back(
                    Mouse(MOUSEEVENTF_MOVE, static_cast<LONG>(*x), static_cast<LONG>(*y)));
            }
        } else if (is("click") || is("dblclick") || is("down") || is("up")) {
            if (!needs(1)) {
                return Usage();
            }
            const Button* button = FindButton(argv[++i]);
            if (button == nullptr) {
                return Usage();
            }
            const int clicks = is("dblclick") ? 2 : 1;
            for (int n = 0; n < clicks; ++n) {
                if (!is("up")) {
                    inputs.push_back(Mouse(button->down, 0, 0, button->data));
                }
                if (!is("down")) {
                    inputs.push_back(Mouse(button->up, 0, 0, button->data));
                }
            }
        } else if (is("wheel") || is("hwheel")) {
            if (!needs(1)) {
                return Usage();
            }
            const auto notches = tools::ParseSigned(argv[++i]);
            if (!notches) {
                return Usage();
            }
            // mouseData is a DWORD but carries a signed delta.
            const DWORD delta = static_cast<DWORD>(*notches * WHEEL_DELTA);
            inputs.push_back(
                Mouse(is("wheel") ? MOUSEEVENTF_WHEEL : MOUSEEVENTF_HWHEEL, 0, 0, delta));
        } else if (is("key") || is("keydown") || is("keyup")) {
            if (!needs(1)) {
                return Usage();
            }
            const auto vk = tools::ParseSigned(argv[++i]);
            if (!vk || *vk <= 0 || *vk > 0xFE) {
                return Usage();
            }
            const WORD code = static_cast<WORD>(*vk);
            if (!is("keyup")) {
                inputs.push_back(Key(code, false));
            }
            if (!is("keydown")) {
                inputs.push_back(Key(code, true));
            }
        } else if (is("extra")) {
            if (!needs(1)) {
                return Usage();
            }
            // All 64 bits: a copied mark fills them (the tools' parser stops at 32).
            const char* text = argv[++i];
            char* end = nullptr;
            errno = 0;
            const unsigned long long extra = std::strtoull(text, &end, 0);
            if (end == text || *end != '\0' || errno == ERANGE || text[0] == '-') {
                return Usage();
            }
            g_extraInfo = static_cast<ULONG_PTR>(extra);
        } else {
            return Usage();
        }
    }
    if (inputs.empty()) {
        return Usage();
    }

    const UINT sent =
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), static_cast<int>(sizeof(INPUT)));
    const DWORD error = sent == inputs.size() ? 0 : GetLastError();
    std::printf("sent=%u of %zu err=%lu\n", sent, inputs.size(), error);
    std::fflush(stdout);
    return sent == inputs.size() ? 0 : 1;
}
