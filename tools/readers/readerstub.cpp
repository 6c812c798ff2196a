// Test-only stand-in screen reader: a window with the class (and title) by which Quelvant
// knows a reader runs, and for NVDA a server of its controller interface, generated from the
// program's own IDL, that records what it is asked to speak. Never shipped.
//
//   readerstub nvda LOG current|older|none take|refuse|crash|stall:MS
//   readerstub jaws LOG
//
// nvda: the window of class "wxWindowClassNR" titled "NVDA"; the server listens on the current
// endpoint name ("NvdaCtlr." session "." desktop), the older one ("nvdaController") or none
// (a window with nothing behind it). Each call of speak text is recorded, then answered: 0,
// a refusal (error 1), the end of this process in the middle of the call, or 0 after MS ms.
// jaws: only the window of class "JFWUI2"; its COM object is the recording one in recvoice.dll.
//
// LOG gets one line per event: "ready" once serving, "speak text=T" per call (T escaped as
// the recording voice does).
#include <windows.h>

#include "NvdaControl.h"
#include "ToolSupport.h"

#include <cwchar>
#include <string>

namespace {

std::wstring g_log;
std::wstring g_mode = L"take";

void Record(const std::wstring& line) {
    const tools::UniqueFile file = tools::OwnFile(::CreateFileW(
        g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    const std::wstring text = line + L"\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Escape(const wchar_t* text) {
    std::wstring out;
    for (; *text != L'\0'; ++text) {
        switch (*text) {
        case L'\\':
            out += L"\\\\";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\n':
            out += L"\\n";
            break;
        default:
            out += *text;
        }
    }
    return out;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool Serve(const std::wstring& which) {
    std::wstring endpoint;
    if (which == L"current") {
        DWORD session = 0;
        ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
        wchar_t desktop[64] = {};
        ::GetUserObjectInformationW(::GetThreadDesktop(::GetCurrentThreadId()), UOI_NAME, desktop,
                                    sizeof desktop - sizeof(wchar_t), nullptr);
        endpoint = L"NvdaCtlr." + std::to_wstring(session) + L"." + desktop;
    } else if (which == L"older") {
        endpoint = L"nvdaController";
    } else {
        return which == L"none";
    }
    auto* protocol = reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(L"ncalrpc"));
    auto* name = reinterpret_cast<RPC_WSTR>(endpoint.data());
    return ::RpcServerUseProtseqEpW(protocol, RPC_C_PROTSEQ_MAX_REQS_DEFAULT, name, nullptr) ==
               RPC_S_OK &&
           ::RpcServerRegisterIf(NvdaControl_v1_0_s_ifspec, nullptr, nullptr) == RPC_S_OK &&
           ::RpcServerListen(1, RPC_C_LISTEN_MAX_CALLS_DEFAULT, TRUE) == RPC_S_OK;
}

} // namespace

extern "C" void* __RPC_USER MIDL_user_allocate(size_t size) {
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
}
extern "C" void __RPC_USER MIDL_user_free(void* block) {
    ::HeapFree(::GetProcessHeap(), 0, block);
}

// The server's side of the four operations.
extern "C" error_status_t __stdcall NvdaTestIfRunning(handle_t) {
    return 0;
}
extern "C" error_status_t __stdcall NvdaSpeakText(handle_t, const wchar_t* text) {
    Record(L"speak text=" + Escape(text));
    if (g_mode == L"refuse") {
        return 1;
    }
    if (g_mode == L"crash") {
        ::ExitProcess(3); // the caller's connection breaks in the middle of its call
    }
    if (g_mode.rfind(L"stall:", 0) == 0) {
        ::Sleep(static_cast<DWORD>(tools::ParseUnsigned(g_mode.substr(6)).value_or(0)));
    }
    return 0;
}
extern "C" error_status_t __stdcall NvdaCancelSpeech(handle_t) {
    return 0;
}
extern "C" error_status_t __stdcall NvdaBrailleMessage(handle_t, const wchar_t*) {
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: readerstub nvda|jaws LOG [ENDPOINT MODE]\n");
        return 2;
    }
    const std::wstring reader = argv[1];
    g_log = argv[2];
    const bool nvda = reader == L"nvda";
    if (nvda && argc >= 5) {
        g_mode = argv[4];
        if (!Serve(argv[3])) {
            std::fwprintf(stderr, L"readerstub: cannot serve on %ls\n", argv[3]);
            return 1;
        }
    }
    const wchar_t* className = nvda ? L"wxWindowClassNR" : L"JFWUI2";
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    ::RegisterClassW(&windowClass);
    // Never shown, as a reader's own window is not.
    const HWND window =
        ::CreateWindowExW(0, className, nvda ? L"NVDA" : L"JAWS", WS_OVERLAPPED, 0, 0, 10, 10,
                          nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    Record(L"ready");
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}
