#include "ScreenReaders.h"

#include "GuardedCall.h"
#include "Handle.h"

#include <windows.h>

#include <oleauto.h>
#include <rpc.h>

#include <cwchar>

#include "NvdaControl.h"

// The RPC stubs allocate through these two.
extern "C" void* __RPC_USER MIDL_user_allocate(size_t size) {
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
}
extern "C" void __RPC_USER MIDL_user_free(void* block) {
    ::HeapFree(::GetProcessHeap(), 0, block);
}

namespace quelvant::ui {

namespace {

void FreeBinding(RPC_BINDING_HANDLE binding) noexcept {
    ::RpcBindingFree(&binding);
}
using UniqueBinding = UniqueHandle<RPC_BINDING_HANDLE, FreeBinding>;

UniqueBinding BindLocal(const wchar_t* endpoint) noexcept {
    RPC_WSTR composed = nullptr;
    if (::RpcStringBindingComposeW(
            nullptr, reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(L"ncalrpc")), nullptr,
            reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(endpoint)), nullptr,
            &composed) != RPC_S_OK) {
        return {};
    }
    UniqueBinding binding;
    const RPC_STATUS status = ::RpcBindingFromStringBindingW(composed, binding.Put());
    ::RpcStringFreeW(&composed);
    if (status != RPC_S_OK) {
        return {};
    }
    // No time-out is set: local RPC ignores the communications time-out and refuses a call
    // time-out. The speaker's own thread bears a slow reader instead.
    return binding;
}

ReaderOutcome SpeakThroughNvda(const wchar_t* text) noexcept {
    wchar_t current[96];
    wchar_t older[96];
    NvdaEndpointNames(current, older);
    for (const wchar_t* endpoint :
         {static_cast<const wchar_t*>(current), static_cast<const wchar_t*>(older)}) {
        const UniqueBinding binding = BindLocal(endpoint);
        if (!binding) {
            continue;
        }
        const GuardedResult result = GuardedCall(reinterpret_cast<void*>(&NvdaSpeakText),
                                                 binding.Get(), const_cast<wchar_t*>(text));
        if (!result.raised) {
            // A server answered: its word stands, whichever it is.
            return result.value == 0 ? ReaderOutcome::Taken : ReaderOutcome::Failed;
        }
        // Nobody behind this name, or the connection broke: the next name may answer.
    }
    return ReaderOutcome::Failed;
}

ReaderOutcome SpeakThroughJaws(const wchar_t* text) noexcept {
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(L"FreedomSci.JawsApi", &clsid))) {
        return ReaderOutcome::Failed;
    }
    ComPtr<IDispatch> jaws;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IDispatch, reinterpret_cast<void**>(jaws.Put())))) {
        return ReaderOutcome::Failed;
    }
    wchar_t methodName[] = L"SayString";
    LPOLESTR names[] = {methodName};
    DISPID sayString = DISPID_UNKNOWN;
    if (FAILED(jaws->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &sayString))) {
        return ReaderOutcome::Failed;
    }
    const BSTR bstr = ::SysAllocString(text);
    if (bstr == nullptr) {
        return ReaderOutcome::Failed;
    }
    // Arguments go in reverse order: the flush switch (false: queue behind what is being
    // said), then the text.
    VARIANT arguments[2];
    ::VariantInit(&arguments[0]);
    arguments[0].vt = VT_BOOL;
    arguments[0].boolVal = VARIANT_FALSE;
    ::VariantInit(&arguments[1]);
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = bstr;
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    VARIANT result;
    ::VariantInit(&result);
    const HRESULT hr = jaws->Invoke(sayString, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &parameters, &result, nullptr, nullptr);
    ::SysFreeString(bstr);
    // SayString answers whether it spoke; a method without an answer took the text too.
    const bool refused = result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE;
    ::VariantClear(&result);
    return SUCCEEDED(hr) && !refused ? ReaderOutcome::Taken : ReaderOutcome::Failed;
}

} // namespace

void NvdaEndpointNames(wchar_t (&current)[96], wchar_t (&older)[96]) noexcept {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    wchar_t desktop[64] = L"Default";
    if (const HDESK handle = ::GetThreadDesktop(::GetCurrentThreadId()); handle != nullptr) {
        DWORD needed = 0;
        if (!::GetUserObjectInformationW(handle, UOI_NAME, desktop,
                                         sizeof desktop - sizeof(wchar_t), &needed)) {
            std::wcscpy(desktop, L"Default");
        }
    }
    std::swprintf(current, 96, L"NvdaCtlr.%lu.%ls", static_cast<unsigned long>(session), desktop);
    std::wcscpy(older, L"nvdaController");
}

ReaderOutcome SpeakThroughRunningReader(const wchar_t* text) noexcept {
    if (::FindWindowW(L"wxWindowClassNR", L"NVDA") != nullptr) {
        return SpeakThroughNvda(text);
    }
    if (::FindWindowW(L"JFWUI2", nullptr) != nullptr) {
        return SpeakThroughJaws(text);
    }
    return ReaderOutcome::NoneRunning;
}

} // namespace quelvant::ui
