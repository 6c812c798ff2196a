// Test-only: deletes a registry key whole, RegDeleteTreeW on its parent with its name, as an
// unlinked Group Policy object or Windows' "reg delete /f" does. Wine's reg.exe empties the
// key's values first, which a watch on the key itself sees; this does not.
//
//   regdelete.exe HKLM|HKCU\PARENT NAME   -> "ok", or "error <code>"; exit code 0 only on "ok"
#include "Handle.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    HKEY root = nullptr;
    if (_wcsnicmp(argv[1], L"HKLM\\", 5) == 0) {
        root = HKEY_LOCAL_MACHINE;
    } else if (_wcsnicmp(argv[1], L"HKCU\\", 5) == 0) {
        root = HKEY_CURRENT_USER;
    } else {
        return 2;
    }
    UniqueRegKey parent;
    LSTATUS status = RegOpenKeyExW(root, argv[1] + 5, 0, KEY_ALL_ACCESS, parent.Put());
    if (status == ERROR_SUCCESS) {
        status = RegDeleteTreeW(parent.Get(), argv[2]);
    } else {
        parent.Release();
    }
    if (status != ERROR_SUCCESS) {
        std::printf("error %ld\n", static_cast<long>(status));
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
