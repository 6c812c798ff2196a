// A thin layer on plain Win32 in place of the application framework the program is written
// against: an application object with profile functions, windows and modal dialogs with
// data exchange, and the few control wrappers the program uses; message maps in afxmsgmap.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "Handle.h"
#include "afxmsgmap.h"

using CString = std::wstring;

// Window of the framework's application-title string.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) noexcept
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate; // TRUE: controls into members
    CWnd* m_pDlgWnd;
};

class CWnd {
public:
    CWnd() noexcept = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    // The child window with this id. Under Wine each ::GetDlgItem asks the server for the whole
    // list of children, and a dialog's handlers look up the same controls over and over: the
    // children are noted in one listing, and a noted one is checked to be still this window's
    // child with that id (which Wine answers in the process) each time before it is given out.
    HWND GetDlgItem(int nID) const noexcept;
    void SetWindowText(const wchar_t* text) const noexcept { ::SetWindowTextW(m_hWnd, text); }
    CString GetWindowText() const;
    BOOL ShowWindow(int nCmdShow) const noexcept { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsIconic() const noexcept { return ::IsIconic(m_hWnd); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr,
                   UINT type = MB_OK) const noexcept {
        return ::MessageBoxW(m_hWnd, text, caption, type);
    }

    // Handlers call this to have the message go on to the default processing afterwards.
    void Default() noexcept { m_bCallDefault = true; }

    // Runs one handler and says whether it completed the message itself. Saved and restored
    // because handlers that open modal loops dispatch messages of their own meanwhile.
    template <typename F> bool AfxRunHandler(F&& handler) {
        const bool saved = m_bCallDefault;
        m_bCallDefault = false;
        const HandlerScope scope(m_nHandlerDepth);
        handler();
        const bool wantsDefault = m_bCallDefault;
        m_bCallDefault = saved;
        return !wantsDefault;
    }

    // How many of this window's handlers are running, the calling one included: more than one
    // means this message came through the modal loop (a box, a dialog) of another handler.
    int HandlerDepth() const noexcept { return m_nHandlerDepth; }

    virtual const AFX_MSGMAP* GetMessageMap() const;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    // Looks the message up in this class's map and then its bases'. True when handled.
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct HandlerScope {
        explicit HandlerScope(int& depth) noexcept : m_depth(depth) { ++m_depth; }
        ~HandlerScope() { --m_depth; }
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;
        int& m_depth;
    };

    struct FoundChild {
        int id;
        HWND hwnd;
    };

    bool m_bCallDefault = false;
    int m_nHandlerDepth = 0;
    mutable FoundChild m_foundChildren[40]{};
    mutable int m_nFoundChildren = 0;
};

class CEdit : public CWnd {};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr) noexcept
        : m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

    // Runs the dialog modally; -1 when it could not be created.
    virtual INT_PTR DoModal();
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    void EndDialog(int nResult) const noexcept { ::EndDialog(m_hWnd, nResult); }

    virtual BOOL OnInitDialog();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

    const AFX_MSGMAP* GetMessageMap() const override;
    static const AFX_MSGMAP* GetThisMessageMap();

    UINT m_nIDHelp;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
};

// Owns a loaded menu; destroys it with the object.
class CMenu {
public:
    BOOL LoadMenu(UINT nIDResource);
    HMENU GetSafeHmenu() const noexcept { return m_menu.Get(); }
    HMENU GetSubMenu(int nPos) const noexcept { return ::GetSubMenu(m_menu.Get(), nPos); }

private:
    UniqueMenu m_menu;
};

class CWinApp {
public:
    explicit CWinApp(const wchar_t* lpszAppName = nullptr);
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    virtual int ExitInstance() { return 0; }

    // Roots the profile at HKEY_CURRENT_USER\Software\<key>\<application name>.
    void SetRegistryKey(const wchar_t* lpszRegistryKey);

    // Profile values under the profile root, in the key named by the section. A missing value,
    // or one of the wrong type or size, reads as the default.
    UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int nDefault) const;
    BOOL WriteProfileInt(const wchar_t* section, const wchar_t* entry, int nValue) const;
    CString GetProfileString(const wchar_t* section, const wchar_t* entry,
                             const wchar_t* lpszDefault = nullptr) const;
    BOOL WriteProfileString(const wchar_t* section, const wchar_t* entry,
                            const wchar_t* lpszValue) const;
    // Between the two calls the section's key stays open: a pass over many values then costs
    // one call to the registry a value, not three. Each pass opens the key anew, so that a key
    // locked or deleted meanwhile is met as such. Passes may nest.
    void HoldProfileKey() const noexcept { ++m_sectionKeyHolds; }
    void ReleaseProfileKey() const noexcept;
    // A profile value whole and raw: its type and every byte of it. FALSE when it is missing
    // or cannot be read.
    BOOL GetProfileValue(const wchar_t* section, const wchar_t* entry, DWORD& type,
                         std::vector<BYTE>& data) const;

    HINSTANCE m_hInstance = nullptr;
    const wchar_t* m_lpCmdLine = L"";
    CWnd* m_pMainWnd = nullptr;
    CString m_strAppName;     // the application title
    CString m_strRegistryKey; // empty until SetRegistryKey
    CString m_strProfileName; // the application title once the registry key is set
    bool m_bOleInitialized = false;

    // Sets the instance, command line and (when none was given) the title from the strings.
    void AfxWinInit(HINSTANCE hInstance, const wchar_t* lpCmdLine);

private:
    UniqueRegKey OpenSectionKey(const wchar_t* section, bool create) const;
    // The section key last used, open while a pass holds it; a key deleted meanwhile is opened
    // anew. Out of a pass it is closed after each value.
    HKEY SectionKey(const wchar_t* section, bool create) const;
    void CloseSectionKeyUnlessHeld() const noexcept;
    BOOL WriteProfileValue(const wchar_t* section, const wchar_t* entry, DWORD type,
                           const BYTE* data, DWORD size) const;
    struct SectionKeyCache {
        CString path;
        bool writable = false;
        UniqueRegKey key;
    };
    mutable SectionKeyCache m_sectionKey;
    mutable int m_sectionKeyHolds = 0;
};

CWinApp* AfxGetApp() noexcept;
HINSTANCE AfxGetResourceHandle() noexcept;
HINSTANCE AfxFindResourceHandle(const wchar_t* lpszName, const wchar_t* lpszType) noexcept;
int AfxMessageBox(const wchar_t* lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
// The owner of a modal window: its parent, or with none the application's main window (the
// window already open over it, if any), so the owner is disabled while it runs and the new
// window gets no taskbar button of its own. Null when there is no main window.
HWND AfxGetSafeOwner(const CWnd* pParent) noexcept;
BOOL AfxOleInit();
// Our program hosts no ActiveX controls, so there is no container to switch on.
inline void AfxEnableControlContainer() noexcept {}
CString AfxLoadString(UINT nID);

void DDX_Check(CDataExchange* pDX, int nIDC, BOOL& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
