// The second yardstick for start-up time: Quelvant's own main dialog template, with all its
// controls, resources and manifest, shown by a program that does none of Quelvant's work
// (no settings, no hooks, no COM, no shortcuts) yet loads the same DLLs at start.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <rpc.h>
#include <shellapi.h>

#include "Helper.h"
#include "StartupTrace.h"
#include "resource.h"

// Never called: these keep one import from each DLL Quelvant.exe imports, so the loader does
// the same work for both programs.
extern "C" {
__attribute__((used)) const void* const g_sameImports[] = {
    reinterpret_cast<const void*>(&GlobalDisableMouse),
    reinterpret_cast<const void*>(&RegCloseKey),
    reinterpret_cast<const void*>(&InitCommonControlsEx),
    reinterpret_cast<const void*>(&OleInitialize),
    reinterpret_cast<const void*>(&ShellExecuteW),
    reinterpret_cast<const void*>(&SysAllocString),
    reinterpret_cast<const void*>(&RpcBindingFree),
};
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The same time line as the program's own (QUELVANT_STARTUP_TRACE), to set step by step
    // against it.
    startup_trace::Mark("WinMain entered");
    DialogBoxParamW(
        instance, MAKEINTRESOURCEW(IDD_QUELVANT_DIALOG), nullptr,
        [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                startup_trace::Mark("dialog and controls created");
                // Another caption, so that nothing takes it for the program itself.
                SetWindowTextW(hwnd, L"Main Dialog Yardstick");
                return TRUE;
            }
            if (message == WM_PAINT) {
                startup_trace::Write();
                return FALSE;
            }
            if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        },
        0);
    return 0;
}
