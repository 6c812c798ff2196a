// Moving the fourteen stored settings between the per-user store and the dialog's members.
#include "QuelvantDlg.h"

#include "SettingsTable.h"

void CQuelvantDlg::LoadSaveSettings(BOOL bLoad) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return;
    }
    BOOL* const bools[kSettingCount] = {
        &m_bCheckDisableLeftClick,
        &m_bCheckDisableMiddleClick,
        &m_bCheckDisableMouseMovements,
        &m_bCheckDisableMouseWheel,
        &m_bCheckDisableRightClick,
        &m_bDisableKeyboardKeys,
        &m_bAutoMinimize,
        &m_bCloseWithKeyboardShortcut,
        &m_bAllowInjected,
        &m_bDisableEnableKeyboardShortcut,
        nullptr,
        nullptr,
        nullptr,
        &m_bAudibleAlerts,
    };
    WORD* const words[kSettingCount] = {
        nullptr, nullptr, nullptr, nullptr,  nullptr,  nullptr, nullptr,
        nullptr, nullptr, nullptr, &m_wKey2, &m_wMod2, nullptr, nullptr,
    };
    // Table order, in both directions; a failed write does not stop the ones after it.
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingDef& setting = kSettings[i];
        switch (setting.kind) {
        case SettingKind::Bool:
            if (bLoad) {
                *bools[i] = DecodeStoredBool(
                    app->GetProfileInt(kSettingsSection, setting.name, setting.defaultValue));
            } else {
                app->WriteProfileInt(kSettingsSection, setting.name, *bools[i]);
            }
            break;
        case SettingKind::Word:
            if (bLoad) {
                *words[i] = DecodeStoredWord(
                    app->GetProfileInt(kSettingsSection, setting.name, setting.defaultValue));
            } else {
                app->WriteProfileInt(kSettingsSection, setting.name, *words[i]);
            }
            break;
        case SettingKind::String:
            if (bLoad) {
                m_sKeyboardShortcutName2 = app->GetProfileString(kSettingsSection, setting.name);
            } else {
                app->WriteProfileString(kSettingsSection, setting.name,
                                        m_sKeyboardShortcutName2.c_str());
            }
            break;
        }
    }
}

void CQuelvantDlg::ResetSettings() {
    m_bCheckDisableLeftClick = 0;
    m_bCheckDisableMiddleClick = 0;
    m_bCheckDisableMouseMovements = 0;
    m_bCheckDisableMouseWheel = 0;
    m_bCheckDisableRightClick = 0;
    m_bDisableKeyboardKeys = 0;
    m_bAllowInjected = 1;
    m_bAutoMinimize = 0;
    m_bCloseWithKeyboardShortcut = 0;
    m_bAutoStartAtLogon = 0;
    m_bDisableEnableKeyboardShortcut = 0;
    m_wKey2 = 0;
    m_wMod2 = 0;
    m_sKeyboardShortcutName2.clear();
    // Audible alerts stay as the user set them.

    const bool hasWindow = m_hWnd != nullptr;
    if (hasWindow) {
        UpdateData(FALSE);
    }
    LoadSaveSettings(FALSE);
    if (hasWindow) {
        CommitBlockingSettings();
        OnBnClickedCloseShortcut();
        // Bring the shortcut state up to date at once, so nothing stays grey or registered
        // from before the reset: hot key 2 goes, its caption returns, the boxes follow.
        RegisterDisableEnableShortcut();
        EnableMouseOptions();
        EnableShortcutBoxes();
    }
    SetAutoStart(m_bAutoStartAtLogon);
}
