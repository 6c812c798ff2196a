// Blocking control in the window: the check-box and hot-key handlers hand over to the core,
// then grey or enable what its decision touched.
#include "QuelvantDlg.h"

#include "BlockingRules.h"
#include "SettingControls.h"
#include "Helper.h"
#include "ShortcutRules.h"

#include <wtsapi32.h>

namespace quelvant::ui {

using namespace core;

void CQuelvantDlg::OnBnClickedBox(UINT nID) {
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettingControls[i] == static_cast<int>(nID) &&
            kSettings[i].kind == SettingKind::Bool) {
            m_core.SetBox(i, Ticked(static_cast<int>(nID)));
            return;
        }
    }
}

void CQuelvantDlg::OnBnClickedDisableKeyboardKeys() {
    const bool holds = m_core.SetKeyboardKeys(Ticked(IDC_CHECK_DISABLE_KEYBOARD_KEYS));
    ShowView();
    if (holds) {
        // Registers or removes both shortcuts as their values now stand.
        OnBnClickedCloseShortcut();
        OnBnClickedDisableEnableShortcut();
    }
}

void CQuelvantDlg::OnHotKey(UINT nHotKeyId, UINT /*nKey1*/, UINT /*nKey2*/) {
    // A press that arrives through the loop of one of our boxes or dialogs would act in the
    // middle of that operation (between an apply and its reload, or closing the dialog while it
    // starts). It is dropped, not kept for later: once the box is gone the user decides anew.
    if (HandlerDepth() > 1) {
        Default();
        return;
    }
    if (nHotKeyId == kCloseHotKey) {
        PostMessage(WM_CLOSE, 0, 0);
    } else {
        m_core.ToggleMouseBlocking();
    }
    Default();
}

// The library noticed that the system had dropped a hook and installed it again.
LRESULT CQuelvantDlg::OnHookRestored(WPARAM wParam, LPARAM /*lParam*/) {
    m_core.HooksRestored((wParam & HELPER_RESTORED_MOUSE) != 0,
                         (wParam & HELPER_RESTORED_KEYBOARD) != 0);
    return 0;
}

// The user's release chord acted inside the hook library, which let go of all blocking or
// brought it back without waiting for us; the dialog only follows and tells.
LRESULT CQuelvantDlg::OnReleaseChord(WPARAM wParam, LPARAM lParam) {
    // lParam: the touchpad's error, where the library gave one.
    const bool failed = (wParam & HELPER_CHORD_TOUCHPAD_FAILED) != 0;
    m_core.FollowReleaseChord((wParam & HELPER_CHORD_RELEASED) != 0,
                              !failed       ? 0
                              : lParam != 0 ? static_cast<std::uint32_t>(lParam)
                                            : kTouchpadSwitchIgnored);
    return 0;
}

// The touchpad's state changed: a toggle of ours may have been taken late.
LRESULT CQuelvantDlg::OnTouchpadNoted(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    m_touchpadWatch.Rearm();
    m_core.TouchpadStateChanged();
    return 0;
}

// While the session was locked, no key of ours reached the system.
LRESULT CQuelvantDlg::OnSessionChange(WPARAM wParam, LPARAM /*lParam*/) {
    if (wParam == WTS_SESSION_UNLOCK) {
        m_core.SessionUnlocked();
    }
    return 0;
}

std::wstring CQuelvantDlg::Text(TextId id) {
    return LoadText(id);
}

CString CQuelvantDlg::GetSystemErrorText(DWORD dwError) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const UniqueLocalText owner(buffer);
    if (length == 0 || buffer == nullptr) {
        ModuleTexts texts;
        return FallbackErrorText(texts, dwError);
    }
    return TrimSystemMessage(CString(buffer, length));
}

} // namespace quelvant::ui
