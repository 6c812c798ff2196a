// Moving the fourteen stored settings between the per-user store and the dialog's members.
#include "QuelvantDlg.h"

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

void CQuelvantDlg::SaveSetting(int index) const {
    const CWinApp* app = AfxGetApp();
    if (app == nullptr || index < 0 || index >= kSettingCount) {
        return;
    }
    const SettingDef& setting = kSettings[index];
    const SettingMember& member = kSettingMembers[index];
    switch (setting.kind) {
    case SettingKind::Bool:
        app->WriteProfileInt(kSettingsSection, setting.name, this->*member.boolMember);
        break;
    case SettingKind::Word:
        app->WriteProfileInt(kSettingsSection, setting.name, this->*member.wordMember);
        break;
    case SettingKind::String:
        app->WriteProfileString(kSettingsSection, setting.name, (this->*member.textMember).c_str());
        break;
    }
}

void CQuelvantDlg::LoadSaveSettings(BOOL bLoad) {
    // Table order, in both directions; a failed write does not stop the ones after it.
    for (int i = 0; i < kSettingCount; ++i) {
        if (bLoad) {
            LoadSetting(i);
        } else {
            SaveSetting(i);
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
    // Audible alerts stay as the user set them. Without a window the member was never loaded,
    // so the stored choice is taken, lest a reset from the command line silence a user who
    // relies on speech.
    if (m_hWnd == nullptr) {
        LoadSetting(kAudibleAlerts);
    }

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
