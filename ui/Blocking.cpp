// Turning the check boxes into hooks of the hook library, and reporting the outcome.
#include "QuelvantDlg.h"

#include "BlockingRules.h"
#include "Helper.h"

int CQuelvantDlg::ApplyBlocking() {
    const WORD filter = ComposeMouseFilter(
        m_bCheckDisableLeftClick, m_bCheckDisableRightClick, m_bCheckDisableMiddleClick,
        m_bCheckDisableMouseMovements, m_bCheckDisableMouseWheel);
    DWORD lastError = 0;
    if (ApplyMouseFilter(filter, lastError) == 0) {
        ShowError(FormatMouseErrorMessage(lastError, GetSystemErrorText(lastError)));
        return 0;
    }
    if (GlobalDisableKeyboard(m_bDisableKeyboardKeys, m_bAllowInjected) != 0) {
        // Said once each time keys become blocked: a blind user may never meet the tooltip.
        if (m_bDisableKeyboardKeys != 0 && m_bKeyboardInForce == 0) {
            m_textSpeaker.SpeakText(kKeyboardBlockedHint, m_bAudibleAlerts);
        }
        m_bKeyboardInForce = m_bDisableKeyboardKeys != 0 ? 1 : 0;
        return 1;
    }
    ShowError(L"Could not Disable Keyboard.");
    return 0;
}

int CQuelvantDlg::ApplyMouseFilterOrReport(WORD wFilter) {
    DWORD lastError = 0;
    const int result = ApplyMouseFilter(wFilter, lastError);
    if (result == 0) {
        ShowError(FormatMouseErrorMessage(lastError, GetSystemErrorText(lastError)));
    }
    return result;
}

int CQuelvantDlg::ApplyMouseFilter(WORD wFilter, DWORD& dwLastError) {
    const int result = GlobalDisableMouse(wFilter, dwLastError, m_bAllowInjected);
    const MouseOutcome outcome = PickMouseOutcome(wFilter, result);
    m_nBlockState = outcome.blockState;
    m_textSpeaker.SpeakText(outcome.text, m_bAudibleAlerts);
    m_editStatus.SetWindowText(outcome.text);
    return result;
}

namespace {
// What the hook library is asked for: the mouse word, the keyboard choice, simulated input.
struct BlockingChoice {
    WORD mouseFilter;
    BOOL disableKeyboard;
    BOOL allowInjected;

    bool SameMouse(const BlockingChoice& other) const {
        return mouseFilter == other.mouseFilter &&
               (allowInjected != 0) == (other.allowInjected != 0);
    }
    bool operator==(const BlockingChoice& other) const {
        return SameMouse(other) && (disableKeyboard != 0) == (other.disableKeyboard != 0);
    }
};
} // namespace

void CQuelvantDlg::CommitBlockingSettings() {
    const auto choice = [this] {
        return BlockingChoice{
            ComposeMouseFilter(m_bCheckDisableLeftClick, m_bCheckDisableRightClick,
                               m_bCheckDisableMiddleClick, m_bCheckDisableMouseMovements,
                               m_bCheckDisableMouseWheel),
            m_bDisableKeyboardKeys, m_bAllowInjected};
    };
    UpdateData(TRUE);
    const SettingValues asked = SettingsInMembers();
    const BlockingChoice applied = choice();
    const int result = ApplyBlocking();
    if (result == 1) {
        LoadSaveSettings(FALSE);
    }
    // A failed change so falls back to the last stored state, in members and check boxes.
    LoadSaveSettings(TRUE);
    UpdateData(FALSE);
    if (SettingsInMembers() == asked) {
        return;
    }
    // The change did not hold. What is in force goes back to what the boxes show again: a
    // failed mouse hook left the former one in force, and a failed keyboard hook the former
    // keyboard hook, but the mouse as newly applied.
    const BlockingChoice shown = choice();
    if (result == 1) {
        if (!(shown == applied)) {
            ApplyBlocking();
        }
        ShowError(L"Could not Save Settings.");
    } else if (m_nBlockState != kBlockError && !shown.SameMouse(applied)) {
        ApplyMouseFilterOrReport(shown.mouseFilter);
    }
}

void CQuelvantDlg::EnableMouseOptions() {
    const BOOL enable = m_bDisableEnableKeyboardShortcut == 0 ? TRUE : FALSE;
    for (const int id : {IDC_CHECK_DISABLE_LEFT_CLICK, IDC_CHECK_DISABLE_RIGHT_CLICK,
                         IDC_CHECK_DISABLE_MIDDLE_CLICK, IDC_CHECK_DISABLE_MOUSE_MOVEMENTS,
                         IDC_CHECK_DISABLE_MOUSE_WHEEL, IDC_CHECK_ALLOW_INJECTED}) {
        EnableControl(id, enable);
    }
}

void CQuelvantDlg::OnBnClickedBlockingOption() {
    CommitBlockingSettings();
}

void CQuelvantDlg::OnBnClickedDisableKeyboardKeys() {
    // The keyboard choice is brought into force first, and the shortcuts give way only once
    // it is: should the hook fail, the box falls back to what applies, as any other box does,
    // and both shortcuts stay as they were, stored and registered.
    UpdateData(TRUE);
    const BOOL wanted = m_bDisableKeyboardKeys;
    CommitBlockingSettings();
    if (m_bDisableKeyboardKeys != wanted) {
        EnableShortcutBoxes();
        return;
    }
    if (m_bDisableKeyboardKeys != 0) {
        m_bCloseWithKeyboardShortcut = 0;
        m_bDisableEnableKeyboardShortcut = 0;
        m_wKey2 = 0;
        m_wMod2 = 0;
        m_sKeyboardShortcutName2.clear();
        UpdateData(FALSE);
    }
    EnableShortcutBoxes();
    OnBnClickedCloseShortcut();
    OnBnClickedDisableEnableShortcut();
}

void CQuelvantDlg::OnHotKey(UINT nHotKeyId, UINT /*nKey1*/, UINT /*nKey2*/) {
    // A press that arrives through the loop of one of our boxes or dialogs would act in the
    // middle of that operation (between an apply and its reload, or closing the dialog while it
    // starts). It is dropped, not kept for later: once the box is gone the user decides anew.
    if (HandlerDepth() > 1) {
        Default();
        return;
    }
    if (nHotKeyId == 1) {
        PostMessage(WM_CLOSE, 0, 0);
    } else {
        UpdateData(TRUE);
        if (HotKeyReleasesMouse(m_nBlockState)) {
            ApplyMouseFilterOrReport(0);
        } else {
            ApplyBlocking();
        }
    }
    Default();
}

// The library noticed that the system had dropped a hook and installed it again: the user
// learns that blocking had lapsed and holds again.
LRESULT CQuelvantDlg::OnHookRestored(WPARAM wParam, LPARAM /*lParam*/) {
    const bool mouse = (wParam & HELPER_RESTORED_MOUSE) != 0;
    const bool keyboard = (wParam & HELPER_RESTORED_KEYBOARD) != 0;
    const wchar_t* text = mouse && keyboard ? L"Mouse Buttons and Keyboard Keys Disabled Again"
                          : mouse           ? L"Mouse Buttons Disabled Again"
                                            : L"Keyboard Keys Disabled Again";
    m_textSpeaker.SpeakText(text, m_bAudibleAlerts);
    m_editStatus.SetWindowText(text);
    return 0;
}

// The user's release chord acted inside the hook library, which let go of all blocking or
// brought it back without waiting for us; the dialog only follows and tells.
LRESULT CQuelvantDlg::OnReleaseChord(WPARAM wParam, LPARAM /*lParam*/) {
    const bool released = wParam == HELPER_CHORD_RELEASED;
    if (released) {
        m_nBlockStateBeforeChord = m_nBlockState;
        m_nBlockState = kBlockReleased; // so the Disable / Enable shortcut applies again
    } else {
        m_nBlockState = m_nBlockStateBeforeChord;
    }
    const wchar_t* text = released ? kChordReleasedText : kChordRestoredText;
    m_textSpeaker.SpeakText(text, m_bAudibleAlerts);
    m_editStatus.SetWindowText(text);
    return 0;
}

CString CQuelvantDlg::GetSystemErrorText(DWORD dwError) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const UniqueLocalText owner(buffer);
    if (length == 0 || buffer == nullptr) {
        return FallbackErrorText(dwError);
    }
    return TrimSystemMessage(CString(buffer, length));
}
