// The main dialog: the window over its core, which holds every setting; the handlers hand the
// core each choice the user made, and the window shows what the core offers and tells.
#pragma once

#include "afxcmn.h"

#include "AccessibleAnnotations.h"
#include "DialogCore.h"
#include "LockWindow.h"
#include "ModuleTexts.h"
#include "NotifyIcon.h"
#include "TextSpeaker.h"
#include "TouchpadStatusWatch.h"
#include "resource.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quelvant::ui {

// The dialog is the thin layer over its core: the core holds the values and makes every
// decision; the dialog hands it each click, and shows, speaks and registers what it decided.
class CQuelvantDlg : public CDialog, private core::CoreWindow {
public:
    explicit CQuelvantDlg(const core::CorePorts& ports, CWnd* pParent = nullptr);

    // Every setting back to its starting value, brought into force (or, with no window, only
    // stored). Returns whether every setting was stored and the Run entry is gone.
    BOOL ResetSettings();

    // What a posted notice of changed settings asks for: the policy read again, and the
    // system's settings (the touchpad) looked at again.
    static constexpr WPARAM kNotedPolicy = 1;
    static constexpr WPARAM kNotedSystem = 2;

    // Started from the command line with "/lock SECONDS": the lock comes into force once the
    // stored choice has.
    void LockAtStart(std::uint32_t seconds) { m_nLockAtStart = seconds; }
    // At exit: a touchpad the program switched off goes back on.
    void GiveTouchpadBack() { m_core.GiveTouchpadBack(); }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    // The window's side of the core. ShowView is the one place that puts the core's values on
    // the controls.
    void ShowView() override;
    void Announce(const std::wstring& text) override;
    void Speak(const std::wstring& text) override;
    void ShowError(const std::wstring& text) override;
    std::wstring SystemErrorText(std::uint32_t code) override;
    // From the program's string table, in the language the system picked.
    std::wstring Text(core::TextId id) override;

    // Window behaviours
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR nIDEvent);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnContextMenu(HWND hWnd, POINT point);
    void OnMenuClose();
    void OnMenuResetSettings();
    void OnMenuMinimize();
    void OnOnScreenKeyboard();
    void OnDestroy();

    // Check boxes and hot keys
    // A box whose click the core takes whole: blocking, auto minimise, alerts, the touchpad.
    void OnBnClickedBox(UINT nID);
    void OnBnClickedDisableKeyboardKeys();
    void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2);
    LRESULT OnHookRestored(WPARAM wParam, LPARAM lParam);
    LRESULT OnReleaseChord(WPARAM wParam, LPARAM lParam);
    void OnBnClickedCloseShortcut();
    void OnBnClickedDisableEnableShortcut();
    void OnBnClickedAutoStart();
    void OnSettingChange(UINT uFlags, LPCWSTR lpszSection);
    LRESULT OnSettingsNoted(WPARAM wParam, LPARAM lParam);
    // The touchpad's Status value changed; the user's session was locked, unlocked and so on.
    LRESULT OnTouchpadNoted(WPARAM wParam, LPARAM lParam);
    LRESULT OnSessionChange(WPARAM wParam, LPARAM lParam);
    void OnEndSession(BOOL bEnding, UINT uLogOff);

    // The notification icon, the lock for cleaning and the commands a second start hands over.
    LRESULT OnNotifyIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimedLockEnded(WPARAM wParam, LPARAM lParam);
    LRESULT OnCopyData(WPARAM wParam, LPARAM lParam);
    void OnTrayLock1();
    void OnTrayLock5();
    void OnTrayLock15();
    void OnTrayRelease();
    void OnTrayOpen();

    DECLARE_MESSAGE_MAP()

private:
    static constexpr UINT_PTR kAutoMinimizeTimer = 1;
    static constexpr UINT kAutoMinimizeDelayMs = 100;
    // Fires once the first paint is done (timers come after paints): then the status line
    // becomes a live region and the speaker starts, each of which loads COM servers.
    static constexpr UINT_PTR kAfterFirstPaintTimer = 2;
    // A window started minimised may never be painted: what follows the first paint comes then
    // anyway, after this long.
    static constexpr UINT kAfterFirstPaintLatestMs = 1000;
    // A policy change that arrived while a box of ours was open is tried again.
    static constexpr UINT_PTR kPolicyRetryTimer = 3;
    static constexpr UINT kPolicyRetryMs = 500;

    // Fires every quarter second while a lock lasts: the countdown on screen.
    static constexpr UINT_PTR kLockCountdownTimer = 4;

    // The lock for cleaning, started here; told when it cannot start.
    void StartTimedLock(std::uint32_t seconds);
    // After the lock ended, whichever way: the countdown goes, and a policy change that waited
    // comes into force.
    void AfterTimedLock();
    void ShowLockCountdown();
    // The icon's picture (anything blocked or not) and its tip, the status line.
    void RefreshNotifyIcon();
    void ShowNotifyMenu(POINT anchor);
    void BringForward();
    // The icon comes with the dialog; the icon and the lock window go with it.
    void JoinNotifyArea();
    void LeaveNotifyArea();

    // What the core holds brought into force and shown: at start, after a reset and when the
    // policy changed. The settings are loaded (or reset) before.
    void BringStoredChoiceIntoForce();

    static CString GetSystemErrorText(DWORD dwError);
    void RegisterDisableEnableShortcut();
    void RegisterCloseShortcut();

    // Administrator's policy: read again, and when it changed, the user's own values come
    // back where a policy went and what is locked now comes into force, shown greyed.
    void ReloadPolicy();

    // Auto start at logon: writes or deletes the entry, then shows what the Run list holds;
    // the error to tell when that is not as asked, else nullptr.
    std::wstring ChangeAutoStart(bool enable);

    bool Ticked(int nID) const;
    void EnableControl(int nID, BOOL bEnable) const;
    void SetControlText(int nID, const CString& text) const;
    // Reads whether the touchpad can be switched here; greys its box and says why where not.
    void RefreshTouchpadAvailability();

    // Greys every control of a locked setting and says why in its tooltip; a control whose
    // lock went is enabled again, for the enabling rules to decide after.
    void ShowLockedSettings();
    bool ControlLocked(int nID) const;
    void SetHoverTip(int nID, bool show);

    // While anything is locked, the managed line is shown, in the Tab order, its description
    // naming the locked boxes; otherwise it is hidden and the dialog ends at the status line.
    void ShowManagedLine();

    // Adds, changes or (with an empty text) removes the tooltip of one control.
    void SetControlTip(int nID, const std::wstring& text);
    // The system menu's About entry and the context menu, once, after the first paint.
    void AddMenus();

    core::DialogCore m_core;
    CMenu m_menuContext;
    CTextSpeaker m_textSpeaker;
    HICON m_hIcon = nullptr; // shared icon from the resources: not destroyed
    CEdit m_editStatus;
    CAccessibleAnnotations m_annotations; // for the window's life, cleared when it goes
    HWND m_hTip = nullptr; // the tooltip window, owned by the dialog and destroyed with it
    // Tips given before the first paint, set after it: the tooltip window costs the start-up
    // several milliseconds, and nobody points at a control before it is seen.
    std::vector<std::pair<int, std::wstring>> m_pendingTips;
    std::vector<int> m_managedControls; // greyed by policy: enabled again when the lock goes
    BOOL m_bShownAtLastTick = 0; // auto minimise: the window was visible at the timer's last tick
    bool m_bMenusAdded = false;
    bool m_bManagedLineRoom = true; // the dialog has the managed line's room, as its template
    // Noted by a change the system broadcast or a policy key's watch, and done once posted.
    bool m_bPolicyNoted = false;
    bool m_bSystemSettingsNoted = false;

    NotifyIcon m_notifyIcon;
    TouchpadStatusWatch m_touchpadWatch; // from when the touchpad is seen available
    bool m_bSessionNotices = false;      // registered for the session's notices
    // The icon joins the notification area after the first paint: under Wine the shell's
    // answer to the first icon takes about 10 ms that the window need not wait for.
    bool m_bWindowSeen = false;
    // The notification icon's pictures: shared icons from the resources, not destroyed.
    LockWindow m_lockWindow;
    std::uint32_t m_nLockAtStart = 0;
    ULONGLONG m_lockEnd = 0;     // the lock's end as shown; the hook library keeps the real one
    bool m_bPolicyWaits = false; // the policy changed during a lock
};

} // namespace quelvant::ui
