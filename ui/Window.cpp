// The main dialog's window behaviours: painting and the minimised icon, moving by its surface,
// the system and context menus, the on-screen keyboard, and the timers after the first paint.
#include "QuelvantDlg.h"

#include "AboutDlg.h"
#include "MainIcon.h"
#include "StartupTrace.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include <iterator>
#include <utility>

namespace quelvant::ui {

void CQuelvantDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kLockCountdownTimer) {
        ShowLockCountdown();
        return;
    }
    if (nIDEvent == kAfterFirstPaintTimer) {
        ::KillTimer(m_hWnd, kAfterFirstPaintTimer);
        m_bWindowSeen = true;
        // Under Wine each icon is drawn into the window's properties for the display, some
        // milliseconds that the first paint need not wait for.
        SetMainIcons(*this, m_hIcon);
        RefreshNotifyIcon();
        for (const auto& [id, text] : std::exchange(m_pendingTips, {})) {
            SetControlTip(id, text);
        }
        // COM for this thread (the accessibility annotations below, the on-screen keyboard's
        // shell call) and the menus: none is wanted before the window is seen.
        AfxOleInit();
        AddMenus();
        // Screen readers read each new status by themselves, named by its text from now on (the
        // service is kept for the window's life); where the system cannot mark the line,
        // announcements still reach them through the speaker.
        if (m_annotations.Start()) {
            const HWND status = GetDlgItem(IDC_EDIT_STATUS);
            m_annotations.MakeLiveRegion(status);
            wchar_t text[256] = {};
            ::GetWindowTextW(status, text, static_cast<int>(std::size(text)));
            m_annotations.SetName(status, text);
            ShowManagedLine();
        }
        // The system voice speaks in the language the texts are in, not the display's: under a
        // language without texts of ours, English texts want an English voice.
        m_textSpeaker.Start(CTextSpeaker::LanguageOfTag(AfxLoadString(IDS_LANGUAGE_TAG).c_str()));
        return;
    }
    if (nIDEvent == kPolicyRetryTimer) {
        ::KillTimer(m_hWnd, kPolicyRetryTimer);
        OnSettingsNoted(0, 0);
        return;
    }
    // Minimises once per start, but never while a box of ours is open: minimised with its
    // owner, the box would wait where nobody sees it. The timer stays and tries again later.
    if (nIDEvent == kAutoMinimizeTimer && HandlerDepth() == 1) {
        // The dialog loop shows the window only once its queue first runs empty, and that show
        // would undo an earlier minimise; so minimise one tick after the window is seen shown.
        if (::IsWindowVisible(m_hWnd) == FALSE) {
            m_bShownAtLastTick = FALSE;
        } else if (m_bShownAtLastTick == FALSE) {
            m_bShownAtLastTick = TRUE;
        } else {
            ShowWindow(SW_MINIMIZE);
            ::KillTimer(m_hWnd, kAutoMinimizeTimer);
        }
    }
    Default();
}

void CQuelvantDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        Default();
    }
}

void CQuelvantDlg::OnPaint() {
    // The window comes first: the voice and the readers are looked for only after it is drawn.
    if (!m_textSpeaker.Started()) {
        ::SetTimer(m_hWnd, kAfterFirstPaintTimer, USER_TIMER_MINIMUM, nullptr);
    }
    if (!IsIconic()) {
        Default();
        startup_trace::Write(); // the time line ends at the first paint
        return;
    }
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CQuelvantDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CQuelvantDlg::OnLButtonDown(UINT /*nFlags*/, POINT /*point*/) {
    // A press on the dialog's own surface moves the window as a press on its caption would.
    SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, 0);
    Default();
}

void CQuelvantDlg::OnContextMenu(HWND /*hWnd*/, POINT point) {
    const HMENU popup = m_menuContext.GetSubMenu(0);
    if (point.x == -1 && point.y == -1) {
        // Asked for from the keyboard (Shift+F10, the Menu key): under the focused control, or
        // at the client area's corner, rather than at the screen's corner.
        RECT control{};
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(m_hWnd, focus) && ::GetWindowRect(focus, &control)) {
            point = {control.left, control.bottom};
        } else {
            point = {0, 0};
            ::ClientToScreen(m_hWnd, &point);
        }
    }
    if (popup != nullptr) {
        ::TrackPopupMenu(popup, 0, point.x, point.y, 0, m_hWnd, nullptr);
    }
}

void CQuelvantDlg::OnMenuClose() {
    PostMessage(WM_CLOSE, 0, 0);
}

// Sign-out, restart or shutdown: the system may end the program at any moment once this
// returns, and the touchpad's switch outlasts the session, so it goes back on here. The
// stored choice stays: the next start, at the next sign-in, takes the touchpad again.
void CQuelvantDlg::OnEndSession(BOOL bEnding, UINT /*uLogOff*/) {
    if (bEnding != FALSE) {
        m_core.GiveTouchpadBack();
        EndDialog(IDCANCEL);
    }
}

void CQuelvantDlg::OnMenuResetSettings() {
    ResetSettings();
}

void CQuelvantDlg::OnMenuMinimize() {
    ShowWindow(SW_MINIMIZE);
}

void CQuelvantDlg::OnOnScreenKeyboard() {
    ::ShellExecuteW(nullptr, nullptr, L"osk.exe", nullptr, nullptr, SW_SHOWNORMAL);
}

void CQuelvantDlg::OnDestroy() {
    m_core.StopWatchingPolicy();
    m_touchpadWatch.Stop();
    if (std::exchange(m_bSessionNotices, false)) {
        ::WTSUnRegisterSessionNotification(m_hWnd);
    }
    LeaveNotifyArea();
    // What screen readers were told of our controls goes with them.
    m_annotations.Clear();
    Default();
}

} // namespace quelvant::ui
