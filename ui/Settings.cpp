// Moving the fourteen stored settings between the per-user store and the dialog's members.
#include "QuelvantDlg.h"

#include "AutoStartRules.h"
#include "SettingsTable.h"

#include <iterator>
#include <string_view>

namespace {

// Which member of the dialog holds each stored setting. The value name is the member's own
// name, spelled once by the macro below, and the compiler checks names, kinds and order
// against the settings table, so the two cannot drift apart.
struct SettingMember {
    const wchar_t* name;
    BOOL CQuelvantDlg::*boolMember = nullptr;
    WORD CQuelvantDlg::*wordMember = nullptr;
    CString CQuelvantDlg::*textMember = nullptr;

    constexpr SettingMember(const wchar_t* n, BOOL CQuelvantDlg::*m) : name(n), boolMember(m) {}
    constexpr SettingMember(const wchar_t* n, WORD CQuelvantDlg::*m) : name(n), wordMember(m) {}
    constexpr SettingMember(const wchar_t* n, CString CQuelvantDlg::*m) : name(n), textMember(m) {}

    constexpr SettingKind Kind() const {
        return boolMember != nullptr   ? SettingKind::Bool
               : wordMember != nullptr ? SettingKind::Word
                                       : SettingKind::String;
    }
};

#define QUELVANT_SETTING(member) SettingMember(L## #member, &CQuelvantDlg::member)

constexpr SettingMember kSettingMembers[] = {
    QUELVANT_SETTING(m_bCheckDisableLeftClick),
    QUELVANT_SETTING(m_bCheckDisableMiddleClick),
    QUELVANT_SETTING(m_bCheckDisableMouseMovements),
    QUELVANT_SETTING(m_bCheckDisableMouseWheel),
    QUELVANT_SETTING(m_bCheckDisableRightClick),
    QUELVANT_SETTING(m_bDisableKeyboardKeys),
    QUELVANT_SETTING(m_bAutoMinimize),
    QUELVANT_SETTING(m_bCloseWithKeyboardShortcut),
    QUELVANT_SETTING(m_bAllowInjected),
    QUELVANT_SETTING(m_bDisableEnableKeyboardShortcut),
    QUELVANT_SETTING(m_wKey2),
    QUELVANT_SETTING(m_wMod2),
    QUELVANT_SETTING(m_sKeyboardShortcutName2),
    QUELVANT_SETTING(m_bAudibleAlerts),
};

#undef QUELVANT_SETTING

constexpr bool MembersMatchTheSettingsTable() {
    if (std::size(kSettingMembers) != std::size(kSettings)) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        if (std::wstring_view(kSettingMembers[i].name) != kSettings[i].name ||
            kSettingMembers[i].Kind() != kSettings[i].kind) {
            return false;
        }
    }
    return true;
}
static_assert(MembersMatchTheSettingsTable(),
              "every stored setting needs its member, in table order and of its kind");

} // namespace

void CQuelvantDlg::LoadSetting(int index) {
    const CWinApp* app = AfxGetApp();
    if (app == nullptr || index < 0 || index >= kSettingCount) {
        return;
    }
    const SettingDef& setting = kSettings[index];
    const SettingMember& member = kSettingMembers[index];
    switch (setting.kind) {
    case SettingKind::Bool:
        this->*member.boolMember = DecodeStoredBool(
            app->GetProfileInt(kSettingsSection, setting.name, setting.defaultValue));
        break;
    case SettingKind::Word:
        this->*member.wordMember = DecodeStoredWord(
            app->GetProfileInt(kSettingsSection, setting.name, setting.defaultValue));
        break;
    case SettingKind::String:
        this->*member.textMember = app->GetProfileString(kSettingsSection, setting.name);
        break;
    }
}

bool CQuelvantDlg::SaveSetting(int index) const {
    const CWinApp* app = AfxGetApp();
    if (app == nullptr || index < 0 || index >= kSettingCount) {
        return false;
    }
    const SettingDef& setting = kSettings[index];
    const SettingMember& member = kSettingMembers[index];
    switch (setting.kind) {
    case SettingKind::Bool:
        return app->WriteProfileInt(kSettingsSection, setting.name, this->*member.boolMember) != 0;
    case SettingKind::Word:
        return app->WriteProfileInt(kSettingsSection, setting.name, this->*member.wordMember) != 0;
    case SettingKind::String:
        return app->WriteProfileString(kSettingsSection, setting.name,
                                       (this->*member.textMember).c_str()) != 0;
    }
    return false;
}

void CQuelvantDlg::ResetSetting(int index) {
    if (index < 0 || index >= kSettingCount) {
        return;
    }
    const SettingDef& setting = kSettings[index];
    const SettingMember& member = kSettingMembers[index];
    switch (setting.kind) {
    case SettingKind::Bool:
        this->*member.boolMember = setting.defaultValue;
        break;
    case SettingKind::Word:
        this->*member.wordMember = static_cast<WORD>(setting.defaultValue);
        break;
    case SettingKind::String:
        (this->*member.textMember).clear();
        break;
    }
}

CQuelvantDlg::SettingValues CQuelvantDlg::SettingsInMembers() const {
    SettingValues values;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingMember& member = kSettingMembers[i];
        switch (kSettings[i].kind) {
        case SettingKind::Bool:
            values[i].number = this->*member.boolMember;
            break;
        case SettingKind::Word:
            values[i].number = this->*member.wordMember;
            break;
        case SettingKind::String:
            values[i].text = this->*member.textMember;
            break;
        }
    }
    return values;
}

BOOL CQuelvantDlg::LoadSaveSettings(BOOL bLoad) {
    // Table order, in both directions; a failed write does not stop the ones after it.
    bool written = true;
    for (int i = 0; i < kSettingCount; ++i) {
        if (bLoad) {
            LoadSetting(i);
        } else {
            written = SaveSetting(i) && written;
        }
    }
    return written ? TRUE : FALSE;
}

BOOL CQuelvantDlg::ResetSettings() {
    const bool hasWindow = m_hWnd != nullptr;
    for (int i = 0; i < kSettingCount; ++i) {
        if (!kSettings[i].keptByReset) {
            ResetSetting(i);
        } else if (!hasWindow) {
            // Without a window the member was never loaded, so the stored choice is taken,
            // lest a reset from the command line silence a user who relies on speech.
            LoadSetting(i);
        }
    }
    m_bAutoStartAtLogon = 0;

    const BOOL written = LoadSaveSettings(FALSE);
    if (!written) {
        // The store keeps what it held: the dialog shows that and brings it into force rather
        // than a reset that did not happen, and auto start stays as it is.
        LoadSaveSettings(TRUE);
        m_bAutoStartAtLogon = IsAutoStartEnabled() == 1 ? 1 : 0;
    }
    if (hasWindow) {
        UpdateData(FALSE);
        CommitBlockingSettings();
        OnBnClickedCloseShortcut();
        // Bring the shortcut state up to date at once, so nothing stays grey or registered
        // from before the reset: hot key 2 goes, its caption returns, the boxes follow.
        RegisterDisableEnableShortcut();
        EnableMouseOptions();
        EnableShortcutBoxes();
    }
    if (!written) {
        if (hasWindow) {
            ShowError(kResetFailedText);
        }
        return FALSE;
    }
    if (!ChangeAutoStart(FALSE)) {
        if (hasWindow) {
            ShowError(AutoStartFailedText(false));
        }
        return FALSE;
    }
    return TRUE;
}
