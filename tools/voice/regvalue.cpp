// Test-only: reads and writes registry values byte for byte, which `reg` cannot: it shows no
// sizes and writes no odd ones.
//
//   regvalue.exe get HKCU|HKLM\KEY NAME
//       -> "type=T size=S data=HEX", or "missing", or "nokey"
//   regvalue.exe set HKCU|HKLM\KEY NAME TYPE HEX|-
//       -> "ok" (the key is created when missing; "-" reads HEX from standard input, for
//          values too long for a command line)
//
// T and TYPE are decimal registry types, HEX the raw bytes (lower-case hex, may be empty).
// Exit code 0 unless the command itself was wrong or the write failed.
#include "Handle.h"
#include "ToolSupport.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iostream>
#include <string>
#include <vector>

namespace {

bool SplitRoot(const std::wstring& full, HKEY& root, std::wstring& path) {
    const auto slash = full.find(L'\\');
    const std::wstring head = full.substr(0, slash);
    path = slash == std::wstring::npos ? L"" : full.substr(slash + 1);
    if (_wcsicmp(head.c_str(), L"HKCU") == 0) {
        root = HKEY_CURRENT_USER;
    } else if (_wcsicmp(head.c_str(), L"HKLM") == 0) {
        root = HKEY_LOCAL_MACHINE;
    } else {
        return false;
    }
    return true;
}

int Get(HKEY root, const std::wstring& path, const wchar_t* name) {
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        std::printf("nokey\n");
        return 0;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    std::vector<BYTE> data(size + 1);
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    std::printf("type=%lu size=%lu data=", type, size);
    for (DWORD i = 0; i < size; ++i) {
        std::printf("%02x", data[i]);
    }
    std::printf("\n");
    return 0;
}

int Set(HKEY root, const std::wstring& path, const wchar_t* name, const wchar_t* type,
        const wchar_t* hexArgument) {
    std::wstring hex = hexArgument;
    if (hex == L"-") {
        std::string line;
        std::getline(std::cin, line);
        hex.assign(line.begin(), line.end());
    }
    const auto kind = tools::ParseUnsigned(type, 10);
    if (!kind || hex.size() % 2 != 0) {
        return 2;
    }
    std::vector<BYTE> data;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto byte = tools::ParseUnsigned(hex.substr(i, 2), 16);
        if (!byte) {
            return 2;
        }
        data.push_back(static_cast<BYTE>(*byte));
    }
    const DWORD size = static_cast<DWORD>(data.size());
    // The registry counts a NUL that follows a string's data into it, as if the caller had
    // forgotten it; something other than NUL behind the data keeps the size as given.
    data.push_back(0xFF);
    data.push_back(0xFF);
    UniqueRegKey key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                        nullptr) != ERROR_SUCCESS) {
        std::printf("nokey\n");
        return 1;
    }
    if (RegSetValueExW(key.Get(), name, 0, static_cast<DWORD>(*kind),
                       size == 0 ? nullptr : data.data(), size) != ERROR_SUCCESS) {
        std::printf("failed\n");
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        return 2;
    }
    HKEY root = nullptr;
    std::wstring path;
    if (!SplitRoot(argv[2], root, path)) {
        return 2;
    }
    const std::wstring verb = argv[1];
    if (verb == L"get" && argc == 4) {
        return Get(root, path, argv[3]);
    }
    if (verb == L"set" && argc == 6) {
        return Set(root, path, argv[3], argv[4], argv[5]);
    }
    return 2;
}
