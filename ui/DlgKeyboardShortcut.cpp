#include "DlgKeyboardShortcut.h"

#include "MainIcon.h"
#include "ModuleTexts.h"
#include "TextFormat.h"

namespace quelvant::ui {

BEGIN_MESSAGE_MAP(CDlgKeyboardShortcut, CDialog)
ON_BN_CLICKED(IDC_BUTTON_CLEAR, OnBnClickedClear)
ON_BN_CLICKED(IDOK, OnBnClickedOk)
END_MESSAGE_MAP()

void CDlgKeyboardShortcut::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HOTKEY_SHORTCUT, m_HotKeyCtrl);
}

BOOL CDlgKeyboardShortcut::OnInitDialog() {
    CDialog::OnInitDialog();

    const CWinApp* app = AfxGetApp();
    SetWindowText(core::FillText(LoadText(core::TextId::ShortcutDialogCaption),
                                 {app != nullptr ? app->m_strAppName : CString()})
                      .c_str());

    SetMainIcons(*this, LoadMainIcon());

    // Only the low bytes of key and modifiers reach the control.
    m_HotKeyCtrl.SendMessage(HKM_SETHOTKEY, MAKEWORD(LOBYTE(m_wKey), LOBYTE(m_wMod)), 0);
    return TRUE;
}

void CDlgKeyboardShortcut::OnBnClickedClear() {
    m_HotKeyCtrl.SendMessage(HKM_SETHOTKEY, 0, 0);
}

void CDlgKeyboardShortcut::OnBnClickedOk() {
    m_HotKeyCtrl.GetHotKey(m_wKey, m_wMod);
    m_sKeyboardShortcutName = m_HotKeyCtrl.GetHotKeyName();
    CDialog::OnOK();
}

} // namespace quelvant::ui
