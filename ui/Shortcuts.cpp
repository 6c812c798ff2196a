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
    const SettingValues& values = m_core.Values();
    const auto key = static_cast<UINT>(values.Number(kKey2));
    const auto mod = static_cast<std::uint16_t>(values.Number(kMod2));
    if (key != 0 &&
        !::RegisterHotKey(m_hWnd, kDisableEnableHotKey, HotKeyFlagsToModifiers(mod), key)) {
        ShowError(Text(TextId::AssignShortcutFailed));
        m_core.ShortcutNotRegistered();
    }
    SetControlText(
        IDC_CHECK_DISABLE_ENABLE_SHORTCUT,
        DisableEnableShortcutCaption(*this, m_core.Values().Text(kKeyboardShortcutName2)));
}

void CQuelvantDlg::OnBnClickedCloseShortcut() {
    m_core.SetBox(kCloseWithKeyboardShortcut, Ticked(IDC_CHECK_CLOSE_SHORTCUT));
    RegisterCloseShortcut();
}

// Registers or removes the close key as its value says, and captions its box.
void CQuelvantDlg::RegisterCloseShortcut() {
    ::UnregisterHotKey(m_hWnd, kCloseHotKey);
    if (m_core.Values().On(kCloseWithKeyboardShortcut)) {
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
            const CString caption = CloseShortcutCaption(*this, keyName);
            SetControlText(IDC_CHECK_CLOSE_SHORTCUT, caption);
            Speak(CloseShortcutAnnouncement(*this, caption, title));
        } else {
            // No key names itself when none could be had. The choice stays on, stored too, so
            // that a later start takes a key that has become free.
            SetControlText(IDC_CHECK_CLOSE_SHORTCUT, Text(TextId::CloseCaption));
            const CString text = NoFreeCloseKeyText(*this, title);
            Speak(text);
            ShowError(text);
        }
    } else {
        SetControlText(IDC_CHECK_CLOSE_SHORTCUT, Text(TextId::CloseCaption));
    }
}

void CQuelvantDlg::OnBnClickedDisableEnableShortcut() {
    const bool wantsCapture =
        m_core.SetDisableEnableShortcut(Ticked(IDC_CHECK_DISABLE_ENABLE_SHORTCUT));
    ShowView();
    if (!wantsCapture) {
        RegisterDisableEnableShortcut();
        return;
    }

    CDlgKeyboardShortcut capture(this);
    capture.m_wKey = static_cast<WORD>(m_core.Values().Number(kKey2));
    capture.m_wMod = static_cast<WORD>(m_core.Values().Number(kMod2));
    const bool ok = capture.DoModal() == IDOK;
    m_core.TakeCapturedShortcut(ok, capture.m_wKey, capture.m_wMod,
                                capture.m_sKeyboardShortcutName);
    RegisterDisableEnableShortcut();
    ShowView();
}

} // namespace quelvant::ui
