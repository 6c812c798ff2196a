// The two global shortcuts: the close key (hot key 1) and the Disable / Enable shortcut
// (hot key 2), their captions and the capture flow behind check box 1016.
#include "QuelvantDlg.h"

#include "DlgKeyboardShortcut.h"
#include "ShortcutRules.h"

namespace quelvant::ui {

using namespace core;

void CQuelvantDlg::RegisterDisableEnableShortcut() {
    ::UnregisterHotKey(m_hWnd, kDisableEnableHotKey);
    // A stored key is registered whether or not the box is ticked.
    if (m_wKey2 != 0 &&
        !::RegisterHotKey(m_hWnd, kDisableEnableHotKey, HotKeyFlagsToModifiers(m_wMod2), m_wKey2)) {
        ShowError(L"Failed to Assign Keyboard Shortcut to Disable / Enable Mouse Button(s).");
        ShortcutNotRegistered();
        EnableMouseOptions();
    }
    SetControlText(IDC_CHECK_DISABLE_ENABLE_SHORTCUT,
                   DisableEnableShortcutCaption(m_sKeyboardShortcutName2));
}

void CQuelvantDlg::OnBnClickedCloseShortcut() {
    StoreBoxes();
    RegisterCloseShortcut();
}

// Registers or removes the close key as the member says, and captions its box.
void CQuelvantDlg::RegisterCloseShortcut() {
    ::UnregisterHotKey(m_hWnd, kCloseHotKey);
    if (m_bCloseWithKeyboardShortcut != 0) {
        const wchar_t* keyName = L"";
        for (const CloseKey& key : kCloseKeys) {
            if (::RegisterHotKey(m_hWnd, kCloseHotKey, 0, key.virtualKey)) {
                keyName = key.name;
                break;
            }
        }
        const CWinApp* app = AfxGetApp();
        const CString title = app != nullptr ? app->m_strAppName : CString();
        if (*keyName != L'\0') {
            const CString caption = CloseShortcutCaption(keyName);
            SetControlText(IDC_CHECK_CLOSE_SHORTCUT, caption);
            Speak(CloseShortcutAnnouncement(caption, title));
        } else {
            // No key names itself when none could be had. The choice stays on, stored too, so
            // that a later start takes a key that has become free.
            SetControlText(IDC_CHECK_CLOSE_SHORTCUT, kCloseCaption);
            const CString text = NoFreeCloseKeyText(title);
            Speak(text);
            ShowError(text);
        }
    } else {
        SetControlText(IDC_CHECK_CLOSE_SHORTCUT, kCloseCaption);
    }
}

void CQuelvantDlg::OnBnClickedDisableEnableShortcut() {
    const bool wantsCapture = DisableEnableShortcutClicked();
    EnableMouseOptions();
    if (!wantsCapture) {
        RegisterDisableEnableShortcut();
        return;
    }

    CDlgKeyboardShortcut capture(this);
    capture.m_wKey = m_wKey2;
    capture.m_wMod = m_wMod2;
    const bool ok = capture.DoModal() == IDOK;
    TakeCapturedShortcut(ok, capture.m_wKey, capture.m_wMod, capture.m_sKeyboardShortcutName);
    RegisterDisableEnableShortcut();
    EnableMouseOptions();
}

void CQuelvantDlg::OnBnClickedAudibleAlerts() {
    StoreBoxes();
}

} // namespace quelvant::ui
