// The about box, opened from the system menu only.
#pragma once

#include "afxwin.h"

#include "resource.h"

namespace quelvant::ui {

class CAboutDlg : public CDialog {
public:
    CAboutDlg() noexcept : CDialog(IDD_ABOUTBOX) {}
};

} // namespace quelvant::ui
