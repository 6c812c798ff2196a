// The application object and the small global helpers; its profile is in appprofile.cpp.
#include "afxwin.h"

#include <ole2.h>

namespace {
CWinApp* g_pApp = nullptr;
} // namespace

CWinApp::CWinApp(const wchar_t* lpszAppName) {
    if (lpszAppName != nullptr) {
        m_strAppName = lpszAppName;
    }
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (m_bOleInitialized) {
        ::OleUninitialize();
    }
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

void CWinApp::AfxWinInit(HINSTANCE hInstance, const wchar_t* lpCmdLine) {
    m_hInstance = hInstance;
    m_lpCmdLine = lpCmdLine != nullptr ? lpCmdLine : L"";
    if (m_strAppName.empty()) {
        m_strAppName = AfxLoadString(AFX_IDS_APP_TITLE);
    }
}

CWinApp* AfxGetApp() noexcept {
    return g_pApp;
}

HINSTANCE AfxGetResourceHandle() noexcept {
    if (g_pApp != nullptr && g_pApp->m_hInstance != nullptr) {
        return g_pApp->m_hInstance;
    }
    return ::GetModuleHandleW(nullptr);
}

// All our resources live in the program file itself.
HINSTANCE AfxFindResourceHandle(const wchar_t*, const wchar_t*) noexcept {
    return AfxGetResourceHandle();
}

CString AfxLoadString(UINT nID) {
    const wchar_t* text = nullptr;
    // With a zero length the call hands out a read-only pointer into the resource itself.
    const int length =
        ::LoadStringW(AfxGetResourceHandle(), nID, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return {};
    }
    return CString(text, static_cast<size_t>(length));
}

int AfxMessageBox(const wchar_t* lpszText, UINT nType, UINT /*nIDHelp*/) {
    // Like the framework: the application title as caption, and an icon when none was asked.
    if ((nType & MB_ICONMASK) == 0) {
        switch (nType & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            nType |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            nType |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    const CWinApp* app = AfxGetApp();
    const HWND owner = AfxGetSafeOwner(nullptr);
    const CString caption = app != nullptr ? app->m_strAppName : CString();
    return ::MessageBoxW(owner, lpszText, caption.c_str(), nType);
}

BOOL AfxOleInit() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_bOleInitialized) {
        return TRUE;
    }
    if (FAILED(::OleInitialize(nullptr))) {
        return FALSE;
    }
    // Undone by the application object's destructor, after the dialog released its voice.
    if (app != nullptr) {
        app->m_bOleInitialized = true;
    }
    return TRUE;
}
