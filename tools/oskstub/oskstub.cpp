// Test-only stand-in for the system's on-screen keyboard, which Wine lacks: tests copy it into
// a prefix's system32 as osk.exe and look for its window. It ends when its window is closed.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    };
    wc.hInstance = instance;
    wc.lpszClassName = L"QuelvantOskStandIn";
    if (RegisterClassW(&wc) == 0) {
        return 1;
    }
    const HWND window = CreateWindowW(wc.lpszClassName, L"On-Screen Keyboard stand-in",
                                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 600, 200, 100, nullptr,
                                      nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 0;
}
