// Test-only: makes a registry key read-only for everyone, as a locked-down policy would, so the
// real program meets a store or a Run list it cannot change. Values can still be read.
//
//   reglock.exe HKCU\KEY    -> "ok", or "nokey"; exit code 0 only on "ok"
//
// The lock lives as long as the Wine server of the prefix; the test's prefix ends with it.
#include "Handle.h"

#include <sddl.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
void FreeDescriptor(PSECURITY_DESCRIPTOR descriptor) noexcept {
    LocalFree(descriptor);
}
using UniqueDescriptor = UniqueHandle<PSECURITY_DESCRIPTOR, FreeDescriptor>;

// Everyone may do anything but set a value or create a subkey.
constexpr const wchar_t* kReadOnly = L"D:(D;;0x6;;;WD)(A;;KA;;;WD)";
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || _wcsnicmp(argv[1], L"HKCU\\", 5) != 0) {
        return 2;
    }
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, argv[1] + 5, 0, READ_CONTROL | WRITE_DAC, key.Put()) !=
        ERROR_SUCCESS) {
        std::printf("nokey\n");
        return 1;
    }
    UniqueDescriptor descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kReadOnly, SDDL_REVISION_1,
                                                              descriptor.Put(), nullptr) ||
        RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor.Get()) !=
            ERROR_SUCCESS) {
        std::printf("failed\n");
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
