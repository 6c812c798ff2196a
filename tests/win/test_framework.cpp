// The dialog part of the framework layer on real windows: message maps, data exchange, the
// dialog procedure's result rules and the default processing.
#include "afxwin.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

constexpr UINT kDialog = 200;
constexpr int kBox = 10;
constexpr int kPush = 11;
constexpr int kEdit = 12;

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(kDialog) {}

    BOOL m_bBox = 0;
    CEdit m_edit;
    int m_pushClicks = 0;
    int m_okClicks = 0;
    int m_sysCommands = 0;
    bool m_swallowClose = false;
    bool m_throwOnPush = false;
    std::function<void(CTestDlg&)> m_onInit;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (m_onInit) {
            m_onInit(*this);
        }
        return TRUE;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Check(pDX, kBox, m_bBox);
        DDX_Control(pDX, kEdit, m_edit);
    }
    void OnPush() {
        ++m_pushClicks;
        if (m_throwOnPush) {
            throw std::runtime_error("handler failed");
        }
    }
    void OnOkClicked() {
        ++m_okClicks;
        CDialog::OnOK();
    }
    void OnSysCommand(UINT nID, LPARAM) {
        ++m_sysCommands;
        if (!(m_swallowClose && (nID & 0xFFF0) == SC_CLOSE)) {
            Default();
        }
    }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(static_cast<LONG_PTR>(0x1234)); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
ON_BN_CLICKED(kPush, OnPush)
ON_BN_CLICKED(IDOK, OnOkClicked)
ON_WM_SYSCOMMAND()
ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

TEST(Dialog, DataExchangeShowsNonZeroAsTickedAndReadsBackOne) {
    CTestDlg dlg;
    dlg.m_bBox = 5;
    LRESULT shown = -1;
    dlg.m_onInit = [&](CTestDlg& d) {
        shown = ::SendMessageW(d.GetDlgItem(kBox), BM_GETCHECK, 0, 0);
        d.UpdateData(TRUE);
        ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL); // WM_CLOSE ends the dialog as Cancel
    EXPECT_EQ(shown, BST_CHECKED);
    EXPECT_EQ(dlg.m_bBox, 1);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(Dialog, ControlBindingAndClicksReachTheirHandlers) {
    CTestDlg dlg;
    HWND boundEdit = nullptr;
    HWND realEdit = nullptr;
    dlg.m_onInit = [&](CTestDlg& d) {
        boundEdit = d.m_edit.m_hWnd;
        realEdit = d.GetDlgItem(kEdit);
        // A click on the check box toggles it; a click on the push button runs its handler.
        ::SendMessageW(d.GetDlgItem(kBox), BM_CLICK, 0, 0);
        ::SendMessageW(d.GetDlgItem(kPush), BM_CLICK, 0, 0);
        ::SendMessageW(d.GetDlgItem(kPush), BM_CLICK, 0, 0);
        ::PostMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_NE(boundEdit, nullptr);
    EXPECT_EQ(boundEdit, realEdit);
    EXPECT_EQ(dlg.m_pushClicks, 2);
    // The derived map's IDOK handler runs before the base's OK, which exchanges the data.
    EXPECT_EQ(dlg.m_okClicks, 1);
    EXPECT_EQ(dlg.m_bBox, 1);
}

TEST(Dialog, AControlFoundOnceIsFoundAnewWhenGoneReplacedOrInANewWindow) {
    CTestDlg dlg;
    int openings = 0;
    dlg.m_onInit = [&](CTestDlg& d) {
        ++openings;
        const HWND first = d.GetDlgItem(kEdit);
        EXPECT_TRUE(first != nullptr && ::GetParent(first) == d.m_hWnd && d.m_edit.m_hWnd == first);
        ::DestroyWindow(first);
        EXPECT_EQ(d.GetDlgItem(kEdit), nullptr);
        const HWND other = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD, 0, 0, 10, 10, d.m_hWnd,
                                             reinterpret_cast<HMENU>(kEdit), nullptr, nullptr);
        d.UpdateData(FALSE);
        EXPECT_TRUE(other != nullptr && d.GetDlgItem(kEdit) == other && d.m_edit.m_hWnd == other);
        ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL); // the same object opened again: the new window's controls
    EXPECT_EQ(openings, 2);
}

TEST(Dialog, EscapeCancelsWithoutExchangingData) {
    CTestDlg dlg;
    dlg.m_onInit = [](CTestDlg& d) {
        ::SendMessageW(d.GetDlgItem(kBox), BM_SETCHECK, BST_CHECKED, 0);
        ::PostMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_bBox, 0);
}

TEST(Dialog, DirectResultsAreReturnedByTheDialogProcedure) {
    CTestDlg dlg;
    LRESULT dragIcon = 0;
    dlg.m_onInit = [&](CTestDlg& d) {
        dragIcon = ::SendMessageW(d.m_hWnd, WM_QUERYDRAGICON, 0, 0);
        ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0);
    };
    dlg.DoModal();
    EXPECT_EQ(dragIcon, 0x1234);
}

TEST(Dialog, DefaultProcessingRunsOnlyWhenTheHandlerAsksForIt) {
    CTestDlg dlg;
    dlg.m_swallowClose = true;
    int phase = 0;
    dlg.m_onInit = [&](CTestDlg& d) {
        // Swallowed: the dialog stays open and the next message is seen.
        ::SendMessageW(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        phase = ::IsWindow(d.m_hWnd) ? 1 : 0;
        d.m_swallowClose = false;
        // Handed on: the default processing closes the dialog.
        ::PostMessageW(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(phase, 1);
    EXPECT_EQ(dlg.m_sysCommands, 2);
}

TEST(Dialog, AFailingHandlerDoesNotUnwindThroughTheWindowManager) {
    CTestDlg dlg;
    dlg.m_throwOnPush = true;
    dlg.m_onInit = [](CTestDlg& d) {
        ::SendMessageW(d.GetDlgItem(kPush), BM_CLICK, 0, 0);
        ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_pushClicks, 1);
}

TEST(Dialog, WithoutAWindowUpdateDataDoesNothing) {
    CTestDlg dlg;
    dlg.m_bBox = 3;
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_bBox, 3);
}

TEST(Dialog, MissingTemplateFailsToOpen) {
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}

} // namespace
