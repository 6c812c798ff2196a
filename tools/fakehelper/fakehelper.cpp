// Test-only stand-in for Helper.dll, so that the real Quelvant.exe can meet a hook that cannot
// be installed. It has the real library's two exports, writes one line per call to
// fakehelper.log beside itself, and fails the calls that fakehelper.conf beside itself names.
// The rules are read again on every call, so a test can change them while the program runs.
//
// fakehelper.conf holds one rule a line ('#' starts a comment); the first rule that matches a
// call fails it:
//   mouse [call=N] [word=W] [error=CODE]   GlobalDisableMouse returns 0 with CODE (default 5)
//                                          in the caller's error variable
//   keyboard [call=N] [disable=W]          GlobalDisableKeyboard returns 0
// N counts the calls of that export since the library was loaded, from 1. W is "zero",
// "nonzero" or a number. Numbers may be decimal or 0x-prefixed hexadecimal.
//
// With RealHelper.dll (a copy of the real library) beside it, every call that is not failed is
// handed on to it, and a failed call leaves the hook of its kind there in force, as the real
// library does when an install fails. Without it no hook is ever installed.
//
// fakehelper.log, one line per event, numbers readable by Python's int(x, 0):
//   attach
//   mouse n=1 wFilter=0x5 dwLastError=0x0 bAllowInjected=1 result=1 dwLastErrorOut=0x0
//   keyboard n=1 bDisable=0 bAllowInjected=1 result=1
//   bad-rule line=3        (a rule it cannot read; such a rule fails nothing)
//   error what=...         (something went wrong inside the stand-in itself)
#define HELPER_BUILDING_DLL
#include "Helper.h"
#include "ToolSupport.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

namespace {

HMODULE g_module = nullptr;
unsigned long g_mouseCalls = 0;
unsigned long g_keyboardCalls = 0;

using MouseFn = int (*)(WORD, DWORD&, BOOL);
using KeyboardFn = int (*)(BOOL, BOOL);

std::wstring OwnFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Plain kernel32 file calls, safe at attach time, and one write per line, so that a reader
// never sees half a line that is not the last one.
void Log(const std::string& line) noexcept try {
    const std::wstring path = OwnFolder() + L"fakehelper.log";
    const tools::UniqueFile file = tools::OwnFile(CreateFileW(
        path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
} catch (...) {
    // Out of memory: the line is lost, and the tests miss it.
}

std::string ReadConfig() {
    const std::wstring path = OwnFolder() + L"fakehelper.conf";
    const tools::UniqueFile file = tools::OwnFile(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    return text;
}

// "zero", "nonzero" or an exact value.
std::optional<bool> WordMatches(const std::string& wanted, unsigned long actual) {
    if (wanted == "zero") {
        return actual == 0;
    }
    if (wanted == "nonzero") {
        return actual != 0;
    }
    const auto value = tools::ParseUnsigned(wanted);
    if (!value) {
        return std::nullopt;
    }
    return *value == actual;
}

struct Call {
    bool mouse;
    unsigned long index; // of this call among the calls of its export, from 1
    unsigned long word;  // wFilter or bDisable
};

struct Failure {
    DWORD error;
};

// The first rule that matches the call, if any. Rules that cannot be read are logged and skipped.
std::optional<Failure> FindFailure(const Call& call) {
    std::istringstream lines(ReadConfig());
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (const auto hash = line.find('#'); hash != std::string::npos) {
            line.erase(hash);
        }
        std::istringstream tokens(line);
        std::string kind;
        if (!(tokens >> kind)) {
            continue;
        }
        bool readable = kind == "mouse" || kind == "keyboard";
        bool matches = readable && (kind == "mouse") == call.mouse;
        DWORD error = ERROR_ACCESS_DENIED;
        std::string token;
        while (readable && tokens >> token) {
            const auto equals = token.find('=');
            const std::string key = token.substr(0, equals);
            const std::string value = equals == std::string::npos ? "" : token.substr(equals + 1);
            if (key == "call") {
                const auto n = tools::ParseUnsigned(value);
                readable = n.has_value();
                matches = matches && n == call.index;
            } else if ((key == "word" && kind == "mouse") ||
                       (key == "disable" && kind == "keyboard")) {
                const auto hit = WordMatches(value, call.word);
                readable = hit.has_value();
                matches = matches && hit.value_or(false);
            } else if (key == "error" && kind == "mouse") {
                const auto code = tools::ParseUnsigned(value);
                readable = code.has_value();
                error = static_cast<DWORD>(code.value_or(0));
            } else {
                readable = false;
            }
        }
        if (!readable) {
            Log("bad-rule line=" + std::to_string(lineNumber));
            continue;
        }
        if (matches) {
            return Failure{error};
        }
    }
    return std::nullopt;
}

// The real library, when a copy of it sits beside the stand-in; loaded on first use, never
// unloaded, so that it removes its hooks when the process ends as the real one would.
struct RealLibrary {
    MouseFn mouse = nullptr;
    KeyboardFn keyboard = nullptr;
};

// Through void (*)(), the one function pointer type that GCC lets stand for any other.
template <typename Fn> Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const RealLibrary& Real() {
    static const RealLibrary real = [] {
        RealLibrary loaded;
        const std::wstring path = OwnFolder() + L"RealHelper.dll";
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            return loaded;
        }
        const HMODULE module = LoadLibraryW(path.c_str());
        if (module == nullptr) {
            Log("error what=load-RealHelper.dll code=" + std::to_string(GetLastError()));
            return loaded;
        }
        loaded.mouse = Export<MouseFn>(module, "_Z18GlobalDisableMousetRmi");
        loaded.keyboard = Export<KeyboardFn>(module, "_Z21GlobalDisableKeyboardii");
        if (loaded.mouse == nullptr || loaded.keyboard == nullptr) {
            Log("error what=RealHelper.dll-exports");
            loaded = {};
        }
        return loaded;
    }();
    return real;
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

int Mouse(WORD wFilter, DWORD& dwLastError, BOOL bAllowInjected) {
    const DWORD errorIn = dwLastError;
    const Call call{true, ++g_mouseCalls, wFilter};
    const RealLibrary& real = Real();
    int result = 1;
    if (const auto failure = FindFailure(call)) {
        dwLastError = failure->error;
        SetLastError(failure->error);
        result = 0;
    } else if (real.mouse != nullptr) {
        result = real.mouse(wFilter, dwLastError, bAllowInjected);
    }
    Log("mouse n=" + std::to_string(call.index) + " wFilter=" + Hex(wFilter) +
        " dwLastError=" + Hex(errorIn) + " bAllowInjected=" + std::to_string(bAllowInjected) +
        " result=" + std::to_string(result) + " dwLastErrorOut=" + Hex(dwLastError));
    return result;
}

int Keyboard(BOOL bDisable, BOOL bAllowInjected) {
    const Call call{false, ++g_keyboardCalls, static_cast<unsigned long>(bDisable)};
    const RealLibrary& real = Real();
    int result = 1;
    if (FindFailure(call)) {
        result = 0;
    } else if (real.keyboard != nullptr) {
        result = real.keyboard(bDisable, bAllowInjected);
    }
    Log("keyboard n=" + std::to_string(call.index) + " bDisable=" + std::to_string(bDisable) +
        " bAllowInjected=" + std::to_string(bAllowInjected) + " result=" + std::to_string(result));
    return result;
}

} // namespace

// Nothing may escape into the program: a failure inside the stand-in is logged and reported as
// a failed call, which the tests then see in the log.
HELPER_API int GlobalDisableMouse(WORD wFilter, DWORD& dwLastError, BOOL bAllowInjected) {
    try {
        return Mouse(wFilter, dwLastError, bAllowInjected);
    } catch (...) {
        Log("error what=exception-in-mouse");
        return 0;
    }
}

HELPER_API int GlobalDisableKeyboard(BOOL bDisable, BOOL bAllowInjected) {
    try {
        return Keyboard(bDisable, bAllowInjected);
    } catch (...) {
        Log("error what=exception-in-keyboard");
        return 0;
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*lpReserved*/) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_module = hInstance;
        Log("attach");
    }
    return TRUE;
}
