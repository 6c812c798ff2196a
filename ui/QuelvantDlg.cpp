// The main dialog's window: controls, message map, initialisation, the window's side of the
// core, and the tooltips.
#include "QuelvantDlg.h"

#include "BlockingRules.h"
#include "MainIcon.h"
#include "SettingControls.h"
#include "StartupTrace.h"

#include "Helper.h"

#include <wtsapi32.h>

namespace quelvant::ui {

using namespace core;

namespace {
// Posted by the hook library when it put back a hook that the system dropped.
const UINT kHookRestoredMessage = ::RegisterWindowMessageW(HELPER_RESTORED_MESSAGE);
// Posted by the hook library when the user's release chord let go of blocking or restored it.
const UINT kReleaseChordMessage = ::RegisterWindowMessageW(HELPER_CHORD_MESSAGE);

// A change noted (wParam: kNotedPolicy, kNotedSystem), posted to ourselves so that whoever told
// us (a broadcast sent by another program, the policy keys' watch) never waits on our work.
const UINT kSettingsNotedMessage = ::RegisterWindowMessageW(L"Quelvant.SettingsNoted");

void PolicyKeysChanged(void* dialog) {
    ::PostMessageW(static_cast<HWND>(dialog), kSettingsNotedMessage, CQuelvantDlg::kNotedPolicy, 0);
}
// Posted by the hook library when a lock for cleaning ended by itself.
const UINT kTimedLockMessage = ::RegisterWindowMessageW(HELPER_LOCK_MESSAGE);
const UINT kTaskbarCreatedMessage = TaskbarCreatedMessage();
// Posted by the watch on the touchpad's Status value.
const UINT kTouchpadNotedMessage = ::RegisterWindowMessageW(L"Quelvant.TouchpadNoted");
} // namespace

CQuelvantDlg::CQuelvantDlg(const CorePorts& ports, CWnd* pParent)
    : CDialog(IDD_QUELVANT_DIALOG, pParent), m_core(ports, *this), m_hIcon(LoadMainIcon()) {
    // Before anything is loaded, so that a start and a "<RESET>" alike respect it.
    m_core.SetPolicy(m_core.ReadPolicy());
}

void CQuelvantDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_STATUS, m_editStatus);
}

BEGIN_MESSAGE_MAP(CQuelvantDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_BUTTON_RESET_SETTINGS, ResetSettings)
ON_BN_CLICKED(IDC_CHECK_DISABLE_LEFT_CLICK, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_DISABLE_RIGHT_CLICK, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_DISABLE_MIDDLE_CLICK, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_DISABLE_MOUSE_MOVEMENTS, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_DISABLE_MOUSE_WHEEL, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_DISABLE_KEYBOARD_KEYS, OnBnClickedDisableKeyboardKeys)
ON_BN_CLICKED(IDC_CHECK_AUTO_MINIMIZE, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_CLOSE_SHORTCUT, OnBnClickedCloseShortcut)
ON_WM_TIMER()
ON_WM_HOTKEY()
ON_BN_CLICKED(IDC_CHECK_AUTO_START, OnBnClickedAutoStart)
ON_BN_CLICKED(IDC_CHECK_ALLOW_INJECTED, OnBnClickedBox)
ON_BN_CLICKED(IDC_CHECK_DISABLE_ENABLE_SHORTCUT, OnBnClickedDisableEnableShortcut)
ON_BN_CLICKED(IDC_CHECK_AUDIBLE_ALERTS, OnBnClickedBox)
ON_WM_LBUTTONDOWN()
ON_COMMAND(ID_MENU_CLOSE, OnMenuClose)
ON_WM_CONTEXTMENU()
ON_COMMAND(ID_MENU_RESET_SETTINGS, OnMenuResetSettings)
ON_COMMAND(ID_MENU_MINIMIZE, OnMenuMinimize)
ON_COMMAND(ID_MENU_ON_SCREEN_KEYBOARD, OnOnScreenKeyboard)
ON_BN_CLICKED(IDC_BUTTON_OSK, OnOnScreenKeyboard)
ON_REGISTERED_MESSAGE(kHookRestoredMessage, OnHookRestored)
ON_REGISTERED_MESSAGE(kReleaseChordMessage, OnReleaseChord)
ON_WM_DESTROY()
ON_REGISTERED_MESSAGE(kSettingsNotedMessage, OnSettingsNoted)
ON_REGISTERED_MESSAGE(kTouchpadNotedMessage, OnTouchpadNoted)
ON_MESSAGE(WM_WTSSESSION_CHANGE, OnSessionChange)
ON_BN_CLICKED(IDC_CHECK_DISABLE_TOUCHPAD, OnBnClickedBox)
ON_WM_SETTINGCHANGE()
ON_WM_ENDSESSION()
ON_MESSAGE(NotifyIcon::kCallbackMessage, OnNotifyIcon)
ON_REGISTERED_MESSAGE(kTaskbarCreatedMessage, OnTaskbarCreated)
ON_REGISTERED_MESSAGE(kTimedLockMessage, OnTimedLockEnded)
ON_MESSAGE(WM_COPYDATA, OnCopyData)
ON_COMMAND(ID_TRAY_LOCK_1, OnTrayLock1)
ON_COMMAND(ID_TRAY_LOCK_5, OnTrayLock5)
ON_COMMAND(ID_TRAY_LOCK_15, OnTrayLock15)
ON_COMMAND(ID_TRAY_RELEASE, OnTrayRelease)
ON_COMMAND(ID_TRAY_OPEN, OnTrayOpen)
ON_COMMAND(ID_TRAY_CLOSE, OnMenuClose)
END_MESSAGE_MAP()

BOOL CQuelvantDlg::OnInitDialog() {
    startup_trace::Mark("dialog and controls created");
    m_core.LoadSettings();
    startup_trace::Mark("settings and policy read");
    // Only an entry that was found and names an existing file ticks the box.
    m_core.ReadAutoStart();
    startup_trace::Mark("Run entry read");
    CDialog::OnInitDialog();
    ShowView();
    startup_trace::Mark("data exchange");

    const CWinApp* app = AfxGetApp();
    SetWindowText(app != nullptr ? app->m_strAppName.c_str() : L"");
    startup_trace::Mark("title");

    SetControlTip(IDC_CHECK_DISABLE_KEYBOARD_KEYS, Text(TextId::KeyboardBoxTip));
    SetControlText(IDC_EDIT_MANAGED, Text(TextId::ManagedLine));
    startup_trace::Mark("tip and managed line");
    // Read before the choice comes into force, so that the touchpad follows it at once.
    RefreshTouchpadAvailability();
    startup_trace::Mark("touchpad read");
    BringStoredChoiceIntoForce();
    // A policy written by any means, not only one the system announces, comes into force.
    m_core.WatchPolicy(&PolicyKeysChanged, m_hWnd);
    startup_trace::Mark("policy watch");
    // Keys sent while the session is locked reach no one: at its unlock the touchpad still owed
    // comes back.
    m_bSessionNotices = ::WTSRegisterSessionNotification(m_hWnd, NOTIFY_FOR_THIS_SESSION) != FALSE;

    // Armed only after the steps that can show an error box, so the window shows and then
    // minimises as on any start, after the user has read the box.
    if (m_core.Values().On(kAutoMinimize)) {
        ::SetTimer(m_hWnd, kAutoMinimizeTimer, kAutoMinimizeDelayMs, nullptr);
    }

    JoinNotifyArea();
    ::SetTimer(m_hWnd, kAfterFirstPaintTimer, kAfterFirstPaintLatestMs, nullptr);
    if (m_nLockAtStart != 0) {
        StartTimedLock(m_nLockAtStart);
    }
    // The window's icons, the system menu's About entry, the context menu, COM and the
    // notification icon come after the first paint (OnTimer): nothing before it needs them.
    startup_trace::Mark("OnInitDialog done");
    return TRUE;
}

void CQuelvantDlg::AddMenus() {
    if (m_bMenusAdded) {
        return;
    }
    m_bMenusAdded = true;
    if (const HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE); systemMenu != nullptr) {
        const CString about = AfxLoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    m_menuContext.LoadMenu(IDR_MENU_CONTEXT);
}

void CQuelvantDlg::BringStoredChoiceIntoForce() {
    // The values were just loaded or stored: the apply below stores them once more.
    ShowView();
    RegisterCloseShortcut();
    startup_trace::Mark("controls, close shortcut");
    m_core.CommitBlockingSettings();
    startup_trace::Mark("blocking in force");
    // Bring the shortcut state up to date at once, so nothing stays grey or registered from
    // before: hot key 2 goes or comes, its caption follows, then the boxes' greying.
    RegisterDisableEnableShortcut();
    startup_trace::Mark("shortcut registered");
    ShowLockedSettings();
    ShowView();
    startup_trace::Mark("locked settings, greying");
}

// The touchpad can come and go with the system's settings: its box follows.

void CQuelvantDlg::RefreshTouchpadAvailability() {
    const TouchpadAvailability availability = m_core.RefreshTouchpad();
    if (availability == TouchpadAvailability::Available) {
        m_touchpadWatch.Start(m_hWnd, kTouchpadNotedMessage);
    }
    EnableControl(IDC_CHECK_DISABLE_TOUCHPAD,
                  availability == TouchpadAvailability::Available ? TRUE : FALSE);
    const std::wstring tip = Text(TouchpadTip(availability));
    SetControlTip(IDC_CHECK_DISABLE_TOUCHPAD,
                  ControlLocked(IDC_CHECK_DISABLE_TOUCHPAD)
                      ? Fill(TextId::TwoSentences, {Text(TextId::ManagedTip), tip})
                      : tip);
}

// Every switch of the settings table in the box that shows it, ticked or not, enabled or greyed
// (the shortcut's key, modifiers and name have no box of their own), and the auto-start box.
void CQuelvantDlg::ShowView() {
    if (m_hWnd == nullptr) {
        return;
    }
    const auto show = [this](int id, bool ticked) {
        ::SendMessageW(GetDlgItem(id), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    };
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettings[i].kind == SettingKind::Bool) {
            show(kSettingControls[i], m_core.Values().On(i));
            EnableControl(kSettingControls[i], m_core.BoxEnabled(i) ? TRUE : FALSE);
        }
    }
    show(IDC_CHECK_AUTO_START, m_core.AutoStartTicked());
}

bool CQuelvantDlg::Ticked(int nID) const {
    return ::SendMessageW(GetDlgItem(nID), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// A status text goes to the status line, which screen readers know by that text, and then to
// the speaker: a reader hears it once, from the speaker when it takes it, else from the live
// region.
void CQuelvantDlg::Announce(const std::wstring& text) {
    m_editStatus.SetWindowText(text.c_str());
    const HWND status = GetDlgItem(IDC_EDIT_STATUS);
    m_annotations.SetName(status, text.c_str());
    m_textSpeaker.SpeakText(text, m_core.Values().Number(kAudibleAlerts), status);
    RefreshNotifyIcon();
}

void CQuelvantDlg::Speak(const std::wstring& text) {
    m_textSpeaker.SpeakText(text, m_core.Values().Number(kAudibleAlerts));
}

void CQuelvantDlg::ShowError(const std::wstring& text) {
    MessageBox(text.c_str(), nullptr, MB_ICONERROR);
}

std::wstring CQuelvantDlg::SystemErrorText(std::uint32_t code) {
    return GetSystemErrorText(code);
}

// A control of a locked setting stays grey whatever the rules between the boxes say.
void CQuelvantDlg::EnableControl(int nID, BOOL bEnable) const {
    ::EnableWindow(GetDlgItem(nID), bEnable != FALSE && !ControlLocked(nID));
}

// Sent, often by another program waiting for our answer: only noted here, the work is posted.
void CQuelvantDlg::OnSettingChange(UINT /*uFlags*/, LPCWSTR lpszSection) {
    const bool policy = lpszSection != nullptr && ::lstrcmpiW(lpszSection, L"Policy") == 0;
    PostMessage(kSettingsNotedMessage, kNotedSystem | (policy ? kNotedPolicy : 0), 0);
    Default();
}

void CQuelvantDlg::SetControlText(int nID, const CString& text) const {
    ::SetWindowTextW(GetDlgItem(nID), text.c_str());
}

} // namespace quelvant::ui
