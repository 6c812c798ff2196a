// Test-only stand-in for the notification area: a window of the class "Shell_TrayWnd" that
// Wine's Shell_NotifyIconW finds first (it is created last and topmost) and to which it sends
// each call as WM_COPYDATA, dwData the NIM_* message and the data Wine's own notification area
// reads (its "struct notify_data", which opens with the fields below). Like Explorer it keeps
// the icons it holds by owner and id: it refuses to add one it already holds and to change,
// set the version of, focus or delete one it does not; it answers TRUE for a call it took. One
// line per call on standard output:
//   icon msg=<NIM_*> owner=<hwnd> id=<uID> flags=<uFlags hex> callback=<uCallbackMessage>
//        version=<uVersion> ok=<1 taken, 0 refused> tip=<szTip, escaped as drive.exe does>
// It prints "ready hwnd=<n>" once its window is there and ends when standard input closes.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>

namespace {

// The head of Wine's notify_data: the fields a test reads.
struct NotifyData {
    LONG hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uVersion;
};

std::string Escaped(const wchar_t* text, std::size_t capacity) {
    std::string out;
    for (std::size_t i = 0; i < capacity && text[i] != L'\0'; ++i) {
        const wchar_t c = text[i];
        if (c == L'\\') {
            out += "\\\\";
        } else if (c == L'\t') {
            out += "\\t";
        } else if (c == L'\n') {
            out += "\\n";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += '?';
        }
    }
    return out;
}

LRESULT CALLBACK TrayProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr || data->cbData < sizeof(NotifyData)) {
            std::printf("short msg=%llu size=%lu\n",
                        static_cast<unsigned long long>(data ? data->dwData : 0),
                        data ? data->cbData : 0ul);
            std::fflush(stdout);
            return FALSE;
        }
        const auto* icon = static_cast<const NotifyData*>(data->lpData);
        static std::set<std::pair<LONG, UINT>> held;
        const std::pair<LONG, UINT> key{icon->hWnd, icon->uID};
        bool taken = false;
        if (data->dwData == NIM_ADD) {
            taken = held.insert(key).second;
        } else if (data->dwData == NIM_DELETE) {
            taken = held.erase(key) != 0;
        } else {
            taken = held.count(key) != 0;
        }
        std::printf("icon msg=%llu owner=%ld id=%u flags=%x callback=%u version=%u ok=%d tip=%s\n",
                    static_cast<unsigned long long>(data->dwData), icon->hWnd, icon->uID,
                    icon->uFlags, icon->uCallbackMessage, icon->uVersion, taken ? 1 : 0,
                    Escaped(icon->szTip, 128).c_str());
        std::fflush(stdout);
        return taken ? TRUE : FALSE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

DWORD WINAPI WaitForEndOfInput(LPVOID thread) {
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), WM_QUIT, 0, 0);
    return 0;
}

} // namespace

int main() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TrayProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    RegisterClassExW(&wc);
    const HWND tray =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 1,
                        1, nullptr, nullptr, wc.hInstance, nullptr);
    if (tray == nullptr) {
        std::printf("error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready hwnd=%llu\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(tray)));
    std::fflush(stdout);
    CloseHandle(CreateThread(nullptr, 0, WaitForEndOfInput,
                             reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(GetCurrentThreadId())),
                             0, nullptr));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    DestroyWindow(tray);
    return 0;
}
