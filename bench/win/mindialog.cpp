// The yardstick for start-up time: a minimal dialog program built the same way (same
// toolchain, static runtime, same manifest), showing a template of the same size and font.
#include <windows.h>

#include <vector>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::vector<WORD> t;
    auto dword = [&](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    t.push_back(1);
    t.push_back(0xFFFF);
    dword(0);
    dword(0);
    dword(DS_SETFONT | DS_FIXEDSYS | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION |
          WS_SYSMENU | WS_MINIMIZEBOX);
    t.push_back(0);
    t.insert(t.end(), {0, 0, 228, 222});
    t.insert(t.end(), {0, 0});
    for (const wchar_t* c = L"Minimal Dialog"; *c != 0; ++c) {
        t.push_back(static_cast<WORD>(*c));
    }
    t.push_back(0);
    t.push_back(8);
    t.push_back(400);
    t.push_back(MAKEWORD(0, 1));
    for (const wchar_t* c = L"MS Shell Dlg"; *c != 0; ++c) {
        t.push_back(static_cast<WORD>(*c));
    }
    t.push_back(0);
    DialogBoxIndirectParamW(
        instance, reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), nullptr,
        [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, IDCANCEL);
                return TRUE;
            }
            return message == WM_INITDIALOG;
        },
        0);
    return 0;
}
