// Test-only recording voice: an in-process COM server that tests register in a Wine prefix
// under the system voice's class id, so that the real program speaks into a log file through
// its ordinary CoCreateInstance. Never shipped.
//
// Read at each creation and each event, from HKCU\Software\QuelvantTests\RecordingVoice:
//   Log     REG_SZ     the file that gets one line per event, appended to (UTF-8)
//   Refuse  REG_DWORD  creations still to refuse; each refused creation counts it down
//
// Lines:
//   create voice=P.N
//   refuse pid=P
//   speak voice=P.N flags=F stream=0|1 text=T
//   set voice=P.N token=K
//   destroy voice=P.N
// P is the process id, N the creation number within that process, F the flags in hex, stream
// 1 when the caller asked for a stream number, T the text with \, CR and LF escaped, K the key
// name of the token given to SetVoice (the last part of its id).
//
// Voices as SAPI lists them: tests register tokens under
// HKLM\SOFTWARE\Microsoft\Speech\Voices\Tokens\K, each with its languages in the Attributes
// subkey's Language value. Until SetVoice, GetVoice answers the token named by the config's
// Default value (K), as SpVoice answers the user's default voice.
//
// It also stands in for the system's annotation service (registered under CLSID_AccPropServices)
// and for a screen reader's view of it: each annotation is recorded, and each live-region event
// of the process is recorded with the name a reader would read then, the annotated one. Log path
// in HKCU\Software\QuelvantTests\Annotations, value Log; lines:
//   name hwnd=H text=T | description hwnd=H text=T | live hwnd=H | clear hwnd=H
//   event hwnd=H name=T
//
// The same library serves the stand-in JAWS object, which tests register under the ProgID
// "FreedomSci.JawsApi": an IDispatch whose one method, SayString(text, flush), is recorded.
// Read at each call from HKCU\Software\QuelvantTests\StandInJaws:
//   Log   REG_SZ  the file that gets "say flush=0|1 text=T" per call
//   Mode  REG_SZ  take (answers true), refuse (answers false), fail (the call fails) or
//                 stall:MS (answers true after MS ms)
#include <windows.h>

#include "ToolSupport.h"
#include "VoiceStub.h"

#include <oleacc.h>

#include <atomic>
#include <map>
#include <new>
#include <string>

namespace {
constexpr CLSID kClsidSpVoice = {
    0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr const wchar_t* kConfigKey = L"Software\\QuelvantTests\\RecordingVoice";
// The stand-in JAWS object's own class id, which tests register under JAWS's ProgID.
constexpr CLSID kClsidStandInJaws = {
    0x5A1D7E4C, 0x2B9F, 0x4C36, {0x9E, 0x1A, 0x7D, 0x3F, 0x0B, 0x8C, 0x6A, 0x21}};
constexpr const wchar_t* kJawsConfigKey = L"Software\\QuelvantTests\\StandInJaws";
constexpr DISPID kDispidSayString = 1;

std::atomic<long> g_creations{0};

std::wstring ConfigText(const wchar_t* key, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, &type, buffer, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return buffer;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// One line per call and one write per line, so that readers never see half a line followed
// by another writer's text.
void Record(const std::wstring& line, const wchar_t* key = kConfigKey) noexcept {
    try {
        const std::wstring path = ConfigText(key, L"Log");
        if (path.empty()) {
            return;
        }
        const tools::UniqueFile file = tools::OwnFile(CreateFileW(
            path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return;
        }
        const std::string bytes = Utf8(line + L"\n");
        DWORD written = 0;
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    } catch (...) {
        // A test tool that cannot log simply records nothing; the caller must not see it.
    }
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

// Counts a refusal down when one is asked for; true when this creation is to fail.
bool TakeRefusal() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kConfigKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD remaining = 0;
    DWORD size = sizeof(remaining);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"Refuse", nullptr, &type, reinterpret_cast<BYTE*>(&remaining),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || remaining == 0) {
        return false;
    }
    --remaining;
    RegSetValueExW(key.Get(), L"Refuse", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&remaining),
                   sizeof(remaining));
    return true;
}

constexpr HRESULT kSpErrNotFound = static_cast<HRESULT>(0x8004503A);
constexpr CLSID kClsidSpObjectTokenCategory = {
    0xA910187F, 0x0C7A, 0x45AC, {0x92, 0xCC, 0x59, 0xED, 0xAF, 0xB7, 0x7B, 0x53}};

// The last part of a token's id: SAPI gives the whole key path, Wine 8 the key name alone.
std::wstring TokenKeyName(ISpObjectToken* token) {
    wchar_t* id = nullptr;
    if (FAILED(token->GetId(&id)) || id == nullptr) {
        return L"?";
    }
    std::wstring name = id;
    CoTaskMemFree(id);
    const std::size_t slash = name.rfind(L'\\');
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

// The registered voice token named by the config's Default value (one reference), or nullptr.
ISpObjectToken* DefaultToken() noexcept {
    try {
        const std::wstring wanted = ConfigText(kConfigKey, L"Default");
        ComPtr<ISpObjectTokenCategory> category;
        ComPtr<IEnumSpObjectTokens> tokens;
        if (wanted.empty() ||
            FAILED(CoCreateInstance(kClsidSpObjectTokenCategory, nullptr, CLSCTX_ALL,
                                    __uuidof(ISpObjectTokenCategory),
                                    reinterpret_cast<void**>(category.Put()))) ||
            FAILED(category->SetId(SPCAT_VOICES, FALSE)) ||
            FAILED(category->EnumTokens(nullptr, nullptr, tokens.Put())) || !tokens) {
            return nullptr;
        }
        for (;;) {
            ComPtr<ISpObjectToken> token;
            if (tokens->Next(1, token.Put(), nullptr) != S_OK || !token) {
                return nullptr;
            }
            if (TokenKeyName(token.Get()) == wanted) {
                token->AddRef(); // the caller's reference
                return token.Get();
            }
        }
    } catch (...) {
        return nullptr;
    }
}

class RecordingVoice final : public VoiceStub {
public:
    explicit RecordingVoice(std::wstring id) : m_id(std::move(id)) {}

    const std::wstring& Id() const { return m_id; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ISpNotifySource) ||
            riid == __uuidof(ISpEventSource) || riid == __uuidof(ISpVoice)) {
            *ppv = static_cast<ISpVoice*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            Record(L"destroy voice=" + m_id);
            delete this;
        }
        return left;
    }

    // ISpVoice: Speak records; SetVoice and GetVoice keep the token.
    HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken* token) override {
        if (token == nullptr) {
            return E_INVALIDARG;
        }
        try {
            Record(L"set voice=" + m_id + L" token=" + TokenKeyName(token));
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        token->AddRef();
        *m_token.Put() = token;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVoice(ISpObjectToken** token) override {
        if (token == nullptr) {
            return E_POINTER;
        }
        if (m_token) {
            m_token->AddRef();
            *token = m_token.Get();
            return S_OK;
        }
        *token = DefaultToken();
        return *token != nullptr ? S_OK : kSpErrNotFound;
    }

    HRESULT STDMETHODCALLTYPE Speak(LPCWSTR pwcs, DWORD dwFlags, ULONG* pulStreamNumber) override {
        try {
            wchar_t flags[16] = {};
            wsprintfW(flags, L"%lx", dwFlags);
            Record(L"speak voice=" + m_id + L" flags=" + flags + L" stream=" +
                   (pulStreamNumber != nullptr ? L"1" : L"0") + L" text=" +
                   (pwcs != nullptr ? Escape(pwcs) : std::wstring(L"(null)")));
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        if (pulStreamNumber != nullptr) {
            *pulStreamNumber = 1;
        }
        return S_OK;
    }

private:
    ~RecordingVoice() = default;

    std::atomic<ULONG> m_refs{1};
    std::wstring m_id;
    ComPtr<ISpObjectToken> m_token; // given by SetVoice
};

class VoiceFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: it lives as long as the library, which never unloads.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        try {
            if (TakeRefusal()) {
                Record(L"refuse pid=" + std::to_wstring(GetCurrentProcessId()));
                return E_FAIL;
            }
            const std::wstring id =
                std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++g_creations);
            auto* voice = new (std::nothrow) RecordingVoice(id);
            if (voice == nullptr) {
                return E_OUTOFMEMORY;
            }
            Record(L"create voice=" + id);
            const HRESULT hr = voice->QueryInterface(riid, ppv);
            voice->Release(); // the caller's reference, if any, is the one that stays
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

VoiceFactory g_factory;

class StandInJaws final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count != 1 || lstrcmpiW(names[0], L"SayString") != 0) {
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = kDispidSayString;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != kDispidSayString || (flags & DISPATCH_METHOD) == 0 || params == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        // Arguments arrive last first: the flush switch, then the text.
        if (params->cArgs != 2 || params->rgvarg[1].vt != VT_BSTR ||
            params->rgvarg[0].vt != VT_BOOL) {
            return DISP_E_BADPARAMCOUNT;
        }
        try {
            const BSTR text = params->rgvarg[1].bstrVal;
            Record(std::wstring(L"say flush=") +
                       (params->rgvarg[0].boolVal != VARIANT_FALSE ? L"1" : L"0") + L" text=" +
                       Escape(text != nullptr ? text : L""),
                   kJawsConfigKey);
            const std::wstring mode = ConfigText(kJawsConfigKey, L"Mode");
            if (mode == L"fail") {
                return E_FAIL;
            }
            if (mode.rfind(L"stall:", 0) == 0) {
                Sleep(static_cast<DWORD>(tools::ParseUnsigned(mode.substr(6)).value_or(0)));
            }
            if (result != nullptr) {
                VariantInit(result);
                result->vt = VT_BOOL;
                result->boolVal = mode == L"refuse" ? VARIANT_FALSE : VARIANT_TRUE;
            }
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

private:
    ~StandInJaws() = default;
    std::atomic<ULONG> m_refs{1};
};

// The class factory of a stand-in object that counts its own references.
template <class Object> class StandInFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* object = new (std::nothrow) Object();
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

StandInFactory<StandInJaws> g_jawsFactory;

constexpr CLSID kClsidAccPropServices = {
    0xB5F8350B, 0x0548, 0x48B1, {0xA6, 0xEE, 0x88, 0xBD, 0x00, 0xB4, 0xA5, 0xE7}};
constexpr IID kIidIAccPropServices = {
    0x6E26E776, 0x04F0, 0x495D, {0x80, 0xE4, 0x33, 0x30, 0x35, 0x2E, 0x31, 0x69}};
constexpr GUID kNameProperty = {
    0x608D3DF8, 0x8128, 0x4AA7, {0xA4, 0x28, 0xF5, 0x5E, 0x49, 0x26, 0x72, 0x91}};
constexpr GUID kDescriptionProperty = {
    0x4D48DFE4, 0xBD3F, 0x491F, {0xA6, 0x48, 0x49, 0x2D, 0x6F, 0x20, 0xC5, 0x88}};
constexpr GUID kLiveSettingProperty = {
    0xC12BCD8E, 0x2A8E, 0x4950, {0x8A, 0xE7, 0x36, 0x25, 0x11, 0x1D, 0x58, 0xEB}};
constexpr DWORD kEventLiveRegionChanged = 0x8019;
constexpr const wchar_t* kAnnotationsKey = L"Software\\QuelvantTests\\Annotations";

// The names annotated so far, as a reader would find them; used on the creating thread only.
std::map<HWND, std::wstring> g_names;

std::wstring Hwnd(HWND hwnd) {
    return std::to_wstring(reinterpret_cast<ULONG_PTR>(hwnd));
}

void CALLBACK OnLiveRegionChanged(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG, DWORD,
                                  DWORD) {
    if (object == OBJID_CLIENT) {
        const auto found = g_names.find(hwnd);
        const std::wstring name = found != g_names.end() ? found->second : L"";
        Record(L"event hwnd=" + Hwnd(hwnd) + L" name=" + Escape(name.c_str()), kAnnotationsKey);
    }
}

class StandInAnnotations final : public IAccPropServices {
public:
    StandInAnnotations() {
        // A reader in this very process: events reach it through this thread's queue.
        static const HWINEVENTHOOK hook =
            SetWinEventHook(kEventLiveRegionChanged, kEventLiveRegionChanged, nullptr,
                            &OnLiveRegionChanged, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
        (void)hook;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == kIidIAccPropServices) {
            *ppv = static_cast<IAccPropServices*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }
    HRESULT WINAPI SetHwndProp(HWND hwnd, DWORD, DWORD, MSAAPROPID prop, VARIANT) override {
        if (prop == kLiveSettingProperty) {
            Record(L"live hwnd=" + Hwnd(hwnd), kAnnotationsKey);
        }
        return S_OK;
    }
    HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD, DWORD, MSAAPROPID prop, LPCWSTR text) override {
        const wchar_t* kind = prop == kNameProperty          ? L"name"
                              : prop == kDescriptionProperty ? L"description"
                                                             : L"other";
        if (prop == kNameProperty) {
            g_names[hwnd] = text;
        }
        Record(std::wstring(kind) + L" hwnd=" + Hwnd(hwnd) + L" text=" + Escape(text),
               kAnnotationsKey);
        return S_OK;
    }
    HRESULT WINAPI ClearHwndProps(HWND hwnd, DWORD, DWORD, const MSAAPROPID* props,
                                  int count) override {
        for (int i = 0; i < count; ++i) {
            if (props[i] == kNameProperty) {
                g_names.erase(hwnd);
            }
        }
        Record(L"clear hwnd=" + Hwnd(hwnd), kAnnotationsKey);
        return S_OK;
    }
    // The rest is not used by the program.
    HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                 AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                     AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                      AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override {
        return E_NOTIMPL;
    }

private:
    ~StandInAnnotations() = default;
    std::atomic<ULONG> m_refs{1};
};

StandInFactory<StandInAnnotations> g_annotationsFactory;
} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (rclsid == kClsidStandInJaws) {
        return g_jawsFactory.QueryInterface(riid, ppv);
    }
    if (rclsid == kClsidAccPropServices) {
        return g_annotationsFactory.QueryInterface(riid, ppv);
    }
    if (rclsid != kClsidSpVoice) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}
