// The main dialog: the one working copy of every setting and the handlers that bring the
// user's choices into force, store them and report the outcome.
#pragma once

#include "afxcmn.h"

#include "StoredSetting.h"
#include "TextSpeaker.h"
#include "resource.h"

#include <array>

class CQuelvantDlg : public CDialog {
public:
    explicit CQuelvantDlg(CWnd* pParent = nullptr);

    // Settings store. A save returns whether every value was written; a reset whether every
    // setting was stored and the Run entry is gone.
    using SettingValues = std::array<StoredSettingValue, kSettingCount>;
    BOOL LoadSaveSettings(BOOL bLoad);
    void LoadSetting(int index); // one row of the settings table, by its index
    bool SaveSetting(int index) const;
    void ResetSetting(int index); // to its value after a reset, which is its default
    SettingValues SettingsInMembers() const;
    BOOL ResetSettings();

    // Blocking control
    int ApplyBlocking();
    int ApplyMouseFilter(WORD wFilter, DWORD& dwLastError);
    void CommitBlockingSettings();
    void EnableMouseOptions();
    static CString GetSystemErrorText(DWORD dwError);

    // Global shortcuts
    void RegisterDisableEnableShortcut();

    // Auto start at logon
    void SetAutoStart(BOOL bEnable);
    int IsAutoStartEnabled();
    // Writes or deletes the entry, then shows what the Run list holds; whether that is as asked.
    bool ChangeAutoStart(BOOL bEnable);

    CMenu m_menuContext;
    int m_nBlockState = 0;
    CString m_sKeyboardShortcutName2;
    WORD m_wKey2 = 0;
    WORD m_wMod2 = 0;
    CTextSpeaker m_textSpeaker;
    BOOL m_bCheckDisableLeftClick = 0;
    BOOL m_bCheckDisableMiddleClick = 0;
    BOOL m_bCheckDisableMouseMovements = 0;
    BOOL m_bCheckDisableMouseWheel = 0;
    BOOL m_bCheckDisableRightClick = 0;
    BOOL m_bDisableKeyboardKeys = 0;
    HICON m_hIcon = nullptr; // shared icon from the resources: not destroyed
    BOOL m_bAutoMinimize = 0;
    BOOL m_bCloseWithKeyboardShortcut = 0;
    BOOL m_bAutoStartAtLogon = 0;
    BOOL m_bAllowInjected = 0;
    BOOL m_bDisableEnableKeyboardShortcut = 0;
    BOOL m_bAudibleAlerts = 0;
    CEdit m_editStatus;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

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
    void OnStatusChanged();

    // Check boxes and hot keys
    void OnBnClickedBlockingOption();
    void OnBnClickedDisableKeyboardKeys();
    void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2);
    LRESULT OnHookRestored(WPARAM wParam, LPARAM lParam);
    LRESULT OnReleaseChord(WPARAM wParam, LPARAM lParam);
    void OnBnClickedCloseShortcut();
    void OnBnClickedDisableEnableShortcut();
    void OnBnClickedAudibleAlerts();
    void OnBnClickedAutoStart();

    DECLARE_MESSAGE_MAP()

private:
    void ShowError(const CString& text) const;
    int ApplyMouseFilterOrReport(WORD wFilter);
    void EnableControl(int nID, BOOL bEnable) const;
    void SetControlText(int nID, const CString& text) const;
    void EnableShortcutBoxes() const;

    void AddKeyboardBoxTip();

    BOOL m_bKeyboardInForce = 0;      // the keyboard hook is in force
    int m_nBlockStateBeforeChord = 0; // what the release chord put aside
    BOOL m_bShownAtLastTick = 0; // auto minimise: the window was visible at the timer's last tick
};
