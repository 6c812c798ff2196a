// The about box, opened from the system menu only.
#pragma once

#include "afxwin.h"

#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() noexcept : CDialog(IDD_ABOUTBOX) {}
};
