// The dialog in the notification area: its icon and menu, the lock for cleaning shown and
// counted down, and the lock commands that a second start hands over.
#include "QuelvantDlg.h"

#include "LockCommand.h"
#include "LockHandOver.h"
#include "LockTexts.h"
#include "MainIcon.h"
#include "TimedLock.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

namespace quelvant::ui {

using namespace core;

namespace {
constexpr UINT kCountdownMs = 250; // a second shown changes within a quarter of it
const UINT kTaskbarCreated = TaskbarCreatedMessage();

// Whether the open menu was last given Escape rather than a click: only a menu cancelled by
// keyboard hands the focus back to the notification area.
thread_local bool t_menuEscaped = false;

LRESULT CALLBACK WatchMenuInput(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_MENU && lParam != 0) {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) {
            t_menuEscaped = msg->wParam == VK_ESCAPE;
        } else if ((msg->message >= WM_LBUTTONDOWN && msg->message <= WM_MOUSELAST) ||
                   (msg->message >= WM_NCLBUTTONDOWN && msg->message <= WM_NCXBUTTONDBLCLK)) {
            t_menuEscaped = false;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

void CQuelvantDlg::RefreshNotifyIcon() {
    if (m_hWnd == nullptr || !m_bWindowSeen) {
        return;
    }
    const bool blocked =
        m_core.TimedLockActive() || (m_core.AnythingBlocked() && !m_core.ChordReleased());
    CString tip = m_editStatus.m_hWnd != nullptr ? m_editStatus.GetWindowText() : CString();
    const CWinApp* app = AfxGetApp();
    if (tip.empty() && app != nullptr) {
        tip = app->m_strAppName;
    }
    m_notifyIcon.Show(m_hWnd, blocked ? IDR_MAINFRAME : IDI_FREE, tip);
}

void CQuelvantDlg::StartTimedLock(std::uint32_t seconds) {
    seconds = std::clamp(seconds, kLockMinSeconds, kLockMaxSeconds);
    switch (m_core.BeginTimedLock(seconds)) {
    case TimedLock::Start::Started:
        m_lockEnd = ::GetTickCount64() + std::uint64_t{seconds} * 1000;
        ::SetTimer(m_hWnd, kLockCountdownTimer, kCountdownMs, nullptr);
        ShowLockCountdown();
        break;
    case TimedLock::Start::Forbidden:
        Announce(Text(TextId::LockForbidden));
        break;
    case TimedLock::Start::Failed:
        break; // the core said why
    }
}

void CQuelvantDlg::ShowLockCountdown() {
    if (!m_core.TimedLockActive()) {
        AfterTimedLock();
        return;
    }
    const ULONGLONG now = ::GetTickCount64();
    // At 0:00 the hook library ends the lock on its own thread and tells us.
    const std::wstring text = LockCountdownText(*this, m_lockEnd > now ? m_lockEnd - now : 0);
    m_lockWindow.Show(text);
    // The line and its name follow each second without a word to screen readers: only start
    // and end are told (Announce).
    if (m_editStatus.GetWindowText() != text) {
        m_editStatus.SetWindowText(text.c_str());
        m_annotations.SetName(m_editStatus.m_hWnd, text.c_str());
    }
    RefreshNotifyIcon();
}

void CQuelvantDlg::AfterTimedLock() {
    if (m_core.TimedLockActive()) {
        return;
    }
    ::KillTimer(m_hWnd, kLockCountdownTimer);
    m_lockWindow.Hide();
    if (std::exchange(m_bPolicyWaits, false)) {
        ReloadPolicy();
    }
    RefreshNotifyIcon();
}

LRESULT CQuelvantDlg::OnTimedLockEnded(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    m_core.TimedLockEnded();
    AfterTimedLock();
    return 0;
}

void CQuelvantDlg::OnTrayLock1() {
    StartTimedLock(kLockMenuSeconds[0]);
}

void CQuelvantDlg::OnTrayLock5() {
    StartTimedLock(kLockMenuSeconds[1]);
}

void CQuelvantDlg::OnTrayLock15() {
    StartTimedLock(kLockMenuSeconds[2]);
}

void CQuelvantDlg::OnTrayRelease() {
    m_core.ActAsChord(m_core.TimedLockActive() || !m_core.ChordReleased());
    AfterTimedLock();
}

void CQuelvantDlg::OnTrayOpen() {
    BringForward();
}

void CQuelvantDlg::BringForward() {
    ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(m_hWnd);
}

LRESULT CQuelvantDlg::OnNotifyIcon(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(lParam)) {
    case NIN_SELECT:    // a click
    case NIN_KEYSELECT: // Enter or Space on the keyboard-selected icon
        BringForward();
        break;
    case WM_CONTEXTMENU: // a right click, Shift+F10 or the Menu key
        // While a box of ours is open it comes first, as it does for the shortcuts.
        if (HandlerDepth() > 1) {
            BringForward();
        } else {
            ShowNotifyMenu({GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)});
        }
        break;
    default:
        break;
    }
    return 0;
}

// As Shell_NotifyIcon's documentation asks: the owner in front before the menu, so that it
// closes when the user clicks elsewhere; a message after it, so that a second opening works;
// and the focus back to the notification area when the menu was cancelled.
void CQuelvantDlg::ShowNotifyMenu(POINT anchor) {
    const UniqueMenu menu(::CreatePopupMenu());
    const HMENU lengths = ::CreatePopupMenu();
    if (!menu || lengths == nullptr) {
        if (lengths != nullptr) {
            ::DestroyMenu(lengths);
        }
        return;
    }
    const UINT allowed = m_core.TimedLockAllowed() ? MF_ENABLED : MF_GRAYED;
    ::AppendMenuW(lengths, MF_STRING | allowed, ID_TRAY_LOCK_1, Text(TextId::TrayLock1).c_str());
    ::AppendMenuW(lengths, MF_STRING | allowed, ID_TRAY_LOCK_5, Text(TextId::TrayLock5).c_str());
    ::AppendMenuW(lengths, MF_STRING | allowed, ID_TRAY_LOCK_15, Text(TextId::TrayLock15).c_str());
    // Owned by the menu from here: it goes with it.
    ::AppendMenuW(menu.Get(), MF_POPUP | allowed, reinterpret_cast<UINT_PTR>(lengths),
                  Text(TextId::TrayLock).c_str());
    const bool lock = m_core.TimedLockActive();
    const bool blockAgain = !lock && m_core.ChordReleased();
    const UINT release = lock || blockAgain || m_core.AnythingBlocked() ? MF_ENABLED : MF_GRAYED;
    ::AppendMenuW(menu.Get(), MF_STRING | release, ID_TRAY_RELEASE,
                  Text(blockAgain ? TextId::TrayBlockAgain : TextId::TrayRelease).c_str());
    ::AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.Get(), MF_STRING, ID_TRAY_OPEN, Text(TextId::TrayOpen).c_str());
    ::SetMenuDefaultItem(menu.Get(), ID_TRAY_OPEN, FALSE);
    ::AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.Get(), MF_STRING, ID_TRAY_CLOSE, Text(TextId::TrayClose).c_str());

    ::SetForegroundWindow(m_hWnd);
    const UINT align =
        ::GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    t_menuEscaped = false;
    UniqueHook watch(
        ::SetWindowsHookExW(WH_MSGFILTER, &WatchMenuInput, nullptr, ::GetCurrentThreadId()));
    const UINT command = static_cast<UINT>(
        ::TrackPopupMenuEx(menu.Get(), align | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                           anchor.x, anchor.y, m_hWnd, nullptr));
    watch.Reset();
    PostMessage(WM_NULL);
    if (command != 0) {
        PostMessage(WM_COMMAND, MAKEWPARAM(command, 0), 0);
    } else if (t_menuEscaped) {
        m_notifyIcon.GiveFocusBack();
    }
}

void CQuelvantDlg::JoinNotifyArea() {
    // Explorer's notice that its taskbar is new reaches a program running as administrator
    // only when let through (Microsoft's Shell_NotifyIcon documentation).
    ::ChangeWindowMessageFilterEx(m_hWnd, kTaskbarCreated, MSGFLT_ALLOW, nullptr);
    // So is a second start's lock command to an instance with user-interface access, which
    // runs at a higher integrity level than the user's start; its data is checked on arrival.
    ::ChangeWindowMessageFilterEx(m_hWnd, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    RefreshNotifyIcon();
}

LRESULT CQuelvantDlg::OnTaskbarCreated(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    m_notifyIcon.AddAgain();
    return 0;
}

// A second start's "/lock SECONDS" or "/unlock". The answer is that start's exit code.
LRESULT CQuelvantDlg::OnCopyData(WPARAM /*wParam*/, LPARAM lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const LockCommand command = data != nullptr
                                    ? FromHandOver(data->dwData, data->lpData, data->cbData)
                                    : LockCommand{LockCommandKind::Bad, 0};
    switch (command.kind) {
    case LockCommandKind::Lock:
        if (!m_core.TimedLockAllowed()) {
            return kLockExitForbidden;
        }
        StartTimedLock(command.seconds);
        return m_core.TimedLockActive() ? kLockExitDone : kLockExitNoAnswer;
    case LockCommandKind::Unlock:
        m_core.EndTimedLock();
        AfterTimedLock();
        return kLockExitDone;
    default:
        Default();
        return kLockExitUsage;
    }
}

void CQuelvantDlg::LeaveNotifyArea() {
    m_notifyIcon.Remove();
    m_lockWindow.Hide();
}

} // namespace quelvant::ui
