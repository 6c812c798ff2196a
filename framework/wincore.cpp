// Windows, modal dialogs, message maps and data exchange on plain Win32.
#include "afxwin.h"

#include <algorithm>
#include <iterator>
#include <vector>

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static constexpr AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static constexpr AFX_MSGMAP messageMap = {nullptr, entries};
    return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const {
    return GetThisMessageMap();
}

CString CWnd::GetWindowText() const {
    const int length = ::GetWindowTextLengthW(m_hWnd);
    if (length <= 0) {
        return {};
    }
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int copied = ::GetWindowTextW(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    return CString(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

bool CWnd::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
    const UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
    // The first matching row wins, searching this class's map before its bases'.
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
            const UINT rowMessage =
                entry->pnRegistered != nullptr ? *entry->pnRegistered : entry->nMessage;
            // A registered number of 0 means the registration failed: that row matches nothing.
            if (rowMessage == message && (rowMessage != 0 || entry->pnRegistered == nullptr) &&
                entry->nCode == code && entry->nID == id) {
                return entry->pfn(this, wParam, lParam, result);
            }
        }
    }
    return false;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
    const wchar_t* name = MAKEINTRESOURCEW(m_nIDHelp);
    const HWND owner = AfxGetSafeOwner(m_pParentWnd);
    const INT_PTR result = ::DialogBoxParamW(AfxFindResourceHandle(name, RT_DIALOG), name, owner,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

namespace {
// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}
} // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept {
    // Nothing may unwind into the window manager: a failing handler ends as unhandled.
    try {
        CDialog* self = nullptr;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<CDialog*>(lParam);
            ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
            self->m_hWnd = hWnd;
            // Counted as a handler: boxes shown while it runs dispatch messages to this dialog.
            BOOL focusDefault = TRUE;
            self->AfxRunHandler([&] { focusDefault = self->OnInitDialog(); });
            return focusDefault;
        }
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
        if (self == nullptr) {
            return FALSE;
        }
        if (message == WM_NCDESTROY) {
            self->m_hWnd = nullptr;
            ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
            return FALSE;
        }
        LRESULT result = 0;
        if (!self->DispatchMessageMap(message, wParam, lParam, result)) {
            return FALSE;
        }
        if (ReturnsResultDirectly(message)) {
            return static_cast<INT_PTR>(result);
        }
        ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

HWND AfxGetSafeOwner(const CWnd* pParent) noexcept {
    HWND owner = pParent != nullptr ? pParent->m_hWnd : nullptr;
    if (owner == nullptr) {
        const CWinApp* app = AfxGetApp();
        const HWND main =
            app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->m_hWnd : nullptr;
        if (main == nullptr || !::IsWindow(main)) {
            return nullptr;
        }
        owner = ::GetLastActivePopup(main);
    }
    // A pop-up cannot be owned by a child window.
    while (owner != nullptr && (::GetWindowLongW(owner, GWL_STYLE) & WS_CHILD) != 0) {
        owner = ::GetParent(owner);
    }
    return owner;
}

BOOL CMenu::LoadMenu(UINT nIDResource) {
    const wchar_t* name = MAKEINTRESOURCEW(nIDResource);
    m_menu.Reset(::LoadMenuW(AfxFindResourceHandle(name, RT_MENU), name));
    return m_menu ? TRUE : FALSE;
}

HWND CWnd::GetDlgItem(int nID) const noexcept {
    const auto find = [this, nID] {
        FoundChild* const end = m_foundChildren + m_nFoundChildren;
        FoundChild* const found = std::find_if(
            m_foundChildren, end, [nID](const FoundChild& entry) { return entry.id == nID; });
        return found != end && found->hwnd != nullptr && ::GetParent(found->hwnd) == m_hWnd &&
                       static_cast<int>(::GetWindowLongPtrW(found->hwnd, GWLP_ID)) == nID
                   ? found->hwnd
                   : nullptr;
    };
    if (m_hWnd == nullptr) {
        return nullptr;
    }
    if (const HWND known = find()) {
        return known;
    }
    // Not known, or no longer as known: all the children are noted again in one listing, the
    // first of an id in the order the system looks (as ::GetDlgItem finds it).
    m_nFoundChildren = 0;
    ::EnumChildWindows(
        m_hWnd,
        [](HWND child, LPARAM context) -> BOOL {
            const CWnd& self = *reinterpret_cast<const CWnd*>(context);
            if (::GetParent(child) != self.m_hWnd) {
                return TRUE; // a child's child
            }
            const int id = static_cast<int>(::GetWindowLongPtrW(child, GWLP_ID));
            FoundChild* const end = self.m_foundChildren + self.m_nFoundChildren;
            if (std::none_of(self.m_foundChildren, end,
                             [id](const FoundChild& entry) { return entry.id == id; })) {
                *end = {id, child};
                ++self.m_nFoundChildren;
            }
            return self.m_nFoundChildren < static_cast<int>(std::size(self.m_foundChildren));
        },
        reinterpret_cast<LPARAM>(this));
    if (const HWND found = find()) {
        return found;
    }
    // Asked the system only when there were more children than could be noted.
    return m_nFoundChildren < static_cast<int>(std::size(m_foundChildren))
               ? nullptr
               : ::GetDlgItem(m_hWnd, nID);
}

void DDX_Check(CDataExchange* pDX, int nIDC, BOOL& value) {
    const HWND control = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        // Any non-zero member counts as ticked.
        ::SendMessageW(control, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    // Bound again when the dialog was opened anew since.
    rControl.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(nIDC);
}
