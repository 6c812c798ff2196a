// Test probe: a plain window that reports every mouse and keyboard message it receives, one
// line each, so end-to-end tests can see which input reached a program and which did not.
//
//   probe.exe [--title T] [--x X] [--y Y] [--w W] [--h H] [--out PATH]
//
// Lines go to PATH (created anew, flushed line by line, readable while the probe runs) or to
// standard output. The first line is "ready ..." once the window is shown; every further line
// is "msg=0x<id> name=<name> t=<microseconds> win=<main|edit> ..." with the useful parameters.
#include "ToolSupport.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

namespace {

constexpr int kEditId = 100;

struct Options {
    std::wstring title = L"Quelvant probe";
    int x = 0;
    int y = 0;
    int w = 400;
    int h = 300;
    std::wstring out;
};

// Where report lines go. Every line is one WriteFile call, so it is on disk (or in the pipe)
// before the next message is handled and a reader polling the file never sees half a line.
class Reporter {
public:
    bool Open(const std::wstring& path) {
        if (path.empty()) {
            m_out = GetStdHandle(STD_OUTPUT_HANDLE);
            return m_out != nullptr && m_out != INVALID_HANDLE_VALUE;
        }
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        m_file.Reset(file);
        m_out = file;
        return true;
    }

    void Line(const char* text) {
        std::string line(text);
        line += '\n';
        DWORD written = 0;
        WriteFile(m_out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        FlushFileBuffers(m_out);
    }

private:
    tools::UniqueFile m_file;
    HANDLE m_out = nullptr;
};

Reporter g_reporter;
HWND g_main = nullptr;
HWND g_edit = nullptr;
WNDPROC g_editProc = nullptr;
// Set while the edit's own procedure runs a mouse message: anything the main window gets then
// is the edit handing the same message up (DefWindowProc does so for the wheel), not new input.
int g_editMouseDepth = 0;

struct NamedMessage {
    UINT id;
    const char* name;
};

#define NAMED(message)                                                                             \
    { message, #message }
// Every mouse message from 0x200 to 0x20E and the keyboard messages a window gets.
constexpr NamedMessage kWatched[] = {
    NAMED(WM_MOUSEMOVE),     NAMED(WM_LBUTTONDOWN),   NAMED(WM_LBUTTONUP),
    NAMED(WM_LBUTTONDBLCLK), NAMED(WM_RBUTTONDOWN),   NAMED(WM_RBUTTONUP),
    NAMED(WM_RBUTTONDBLCLK), NAMED(WM_MBUTTONDOWN),   NAMED(WM_MBUTTONUP),
    NAMED(WM_MBUTTONDBLCLK), NAMED(WM_MOUSEWHEEL),    NAMED(WM_XBUTTONDOWN),
    NAMED(WM_XBUTTONUP),     NAMED(WM_XBUTTONDBLCLK), NAMED(WM_MOUSEHWHEEL),
    NAMED(WM_KEYDOWN),       NAMED(WM_KEYUP),         NAMED(WM_CHAR),
    NAMED(WM_SYSKEYDOWN),    NAMED(WM_SYSKEYUP),
};
#undef NAMED

const char* MessageName(UINT msg) {
    for (const NamedMessage& watched : kWatched) {
        if (watched.id == msg) {
            return watched.name;
        }
    }
    return nullptr;
}

bool IsMouseMessage(UINT msg) {
    return msg >= WM_MOUSEFIRST && msg <= WM_MOUSEHWHEEL;
}

// Writes one report line if msg is one of the messages the probe watches.
void Report(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const char* name = MessageName(msg);
    if (name == nullptr) {
        return;
    }
    char line[256];
    const int head = std::snprintf(line, sizeof line, "msg=0x%03X name=%s t=%lld win=%s", msg, name,
                                   tools::NowMicroseconds(), hwnd == g_edit ? "edit" : "main");
    const size_t room = sizeof line - static_cast<size_t>(head);
    char* tail = line + head;
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    if (msg == WM_MOUSEWHEEL || msg == WM_MOUSEHWHEEL) {
        // Windows gives the wheel's position in screen coordinates (Wine gives client
        // coordinates for the horizontal wheel).
        std::snprintf(tail, room, " delta=%d keys=0x%X sx=%d sy=%d", GET_WHEEL_DELTA_WPARAM(wParam),
                      GET_KEYSTATE_WPARAM(wParam), x, y);
    } else if (msg >= WM_XBUTTONDOWN && msg <= WM_XBUTTONDBLCLK) {
        std::snprintf(tail, room, " xbutton=%u keys=0x%X x=%d y=%d", GET_XBUTTON_WPARAM(wParam),
                      GET_KEYSTATE_WPARAM(wParam), x, y);
    } else if (IsMouseMessage(msg)) {
        std::snprintf(tail, room, " keys=0x%X x=%d y=%d", static_cast<unsigned>(wParam), x, y);
    } else if (msg == WM_CHAR) {
        std::snprintf(tail, room, " char=0x%04X lparam=0x%08lX", static_cast<unsigned>(wParam),
                      static_cast<unsigned long>(lParam));
    } else {
        std::snprintf(tail, room, " vk=0x%02X scan=0x%02X lparam=0x%08lX",
                      static_cast<unsigned>(wParam), (static_cast<unsigned>(lParam) >> 16) & 0xFF,
                      static_cast<unsigned long>(lParam));
    }
    g_reporter.Line(line);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Report(hwnd, msg, wParam, lParam);
    if (!IsMouseMessage(msg)) {
        return CallWindowProcW(g_editProc, hwnd, msg, wParam, lParam);
    }
    ++g_editMouseDepth;
    const LRESULT result = CallWindowProcW(g_editProc, hwnd, msg, wParam, lParam);
    --g_editMouseDepth;
    return result;
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!(IsMouseMessage(msg) && g_editMouseDepth > 0)) {
        Report(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_CREATE: {
        // A small edit in the corner takes the keys; the rest of the client area is the main
        // window's own, where the mouse tests point.
        g_edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                 WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 4, 4, 160, 24, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                                 GetModuleHandleW(nullptr), nullptr);
        if (g_edit == nullptr) {
            return -1;
        }
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
        return 0;
    }
    case WM_ACTIVATE:
        // Keys always go to the edit, whatever activated the window.
        if (LOWORD(wParam) != WA_INACTIVE && g_edit != nullptr) {
            SetFocus(g_edit);
        }
        return 0;
    case WM_SETFOCUS:
        if (g_edit != nullptr) {
            SetFocus(g_edit);
        }
        return 0;
    case WM_SYSCOMMAND:
        // Alt or F10 alone would open the window menu and swallow the keys that follow.
        if ((wParam & 0xFFF0) == SC_KEYMENU) {
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool ParseInt(const wchar_t* text, int& value) {
    const auto parsed = tools::ParseSigned(text, 10);
    if (!parsed) {
        return false;
    }
    value = static_cast<int>(*parsed);
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring name = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const wchar_t* value = argv[++i];
        if (name == L"--title") {
            options.title = value;
        } else if (name == L"--out") {
            options.out = value;
        } else if (name == L"--x") {
            if (!ParseInt(value, options.x)) {
                return false;
            }
        } else if (name == L"--y") {
            if (!ParseInt(value, options.y)) {
                return false;
            }
        } else if (name == L"--w") {
            if (!ParseInt(value, options.w) || options.w <= 0) {
                return false;
            }
        } else if (name == L"--h") {
            if (!ParseInt(value, options.h) || options.h <= 0) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

inline void FreeArgv(wchar_t** argv) noexcept {
    LocalFree(argv);
}
using UniqueArgv = UniqueHandle<wchar_t**, FreeArgv>;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    const UniqueArgv argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    Options options;
    if (!argv || !ParseOptions(argc, argv.Get(), options)) {
        std::fputs("usage: probe.exe [--title T] [--x X] [--y Y] [--w W] [--h H] [--out PATH]\n",
                   stderr);
        return 2;
    }
    if (!g_reporter.Open(options.out)) {
        std::fprintf(stderr, "probe: cannot open the report file (error %lu)\n", GetLastError());
        return 1;
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // Double-click messages only come to a class that asks for them.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QuelvantProbe";
    if (RegisterClassExW(&wc) == 0) {
        std::fprintf(stderr, "probe: RegisterClassExW failed (error %lu)\n", GetLastError());
        return 1;
    }
    g_main =
        CreateWindowExW(0, wc.lpszClassName, options.title.c_str(), WS_OVERLAPPEDWINDOW, options.x,
                        options.y, options.w, options.h, nullptr, nullptr, instance, nullptr);
    if (g_main == nullptr) {
        std::fprintf(stderr, "probe: CreateWindowExW failed (error %lu)\n", GetLastError());
        return 1;
    }
    ShowWindow(g_main, SW_SHOW);
    UpdateWindow(g_main);
    SetForegroundWindow(g_main);
    SetFocus(g_edit);

    // Tests aim real pointer events by screen coordinates, so tell them where the client
    // area and the edit ended up.
    RECT client{};
    GetClientRect(g_main, &client);
    POINT origin{0, 0};
    ClientToScreen(g_main, &origin);
    RECT edit{};
    GetWindowRect(g_edit, &edit);
    char ready[256];
    std::snprintf(ready, sizeof ready,
                  "ready pid=%lu hwnd=0x%llX client=%ld,%ld,%ld,%ld edit=%ld,%ld,%ld,%ld",
                  GetCurrentProcessId(),
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(g_main)), origin.x,
                  origin.y, client.right, client.bottom, edit.left, edit.top,
                  edit.right - edit.left, edit.bottom - edit.top);
    g_reporter.Line(ready);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
