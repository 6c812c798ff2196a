// The small modal dialog in which the user presses the Disable / Enable shortcut.
#pragma once

#include "afxcmn.h"

#include "resource.h"

namespace quelvant::ui {

class CDlgKeyboardShortcut : public CDialog {
public:
    explicit CDlgKeyboardShortcut(CWnd* pParent = nullptr) noexcept
        : CDialog(IDD_KEYBOARD_SHORTCUT, pParent) {}

    CString m_sKeyboardShortcutName; // filled on OK
    WORD m_wKey = 0;                 // in and out: virtual-key code, 0 = none
    WORD m_wMod = 0;                 // in and out: HOTKEYF_* bits
    CHotKeyCtrl m_HotKeyCtrl;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnBnClickedClear();
    void OnBnClickedOk();

    DECLARE_MESSAGE_MAP()
};

} // namespace quelvant::ui
