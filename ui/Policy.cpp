// Settings an administrator locks, in the window: the policy read again when Windows says it
// changed, and locked controls greyed with a word that says why.
#include "QuelvantDlg.h"

#include "BlockingRules.h"
#include "SettingControls.h"

#include <algorithm>
#include <iterator>

namespace quelvant::ui {

using namespace core;

namespace {

// Ids of the hover tools, apart from the control tools (whose ids are window handles, which
// are sign-extended 32-bit values and so never fall in this range).
constexpr UINT_PTR kHoverToolBase = 0xFFFF0000u;

// A change that arrives while a box of ours is open waits until it is closed.
constexpr UINT_PTR kPolicyRetryTimer = 3;
constexpr UINT kPolicyRetryMs = 500;

void CALLBACK RetryPolicy(HWND hWnd, UINT /*message*/, UINT_PTR id, DWORD /*time*/) {
    ::KillTimer(hWnd, id);
    ::SendMessageW(hWnd, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Policy"));
}

// The tooltip a control has of its own: the keyboard box tells the way out.
std::wstring TipOf(int nID, bool locked) {
    std::wstring tip = locked ? kManagedTip : L"";
    if (nID == IDC_CHECK_DISABLE_KEYBOARD_KEYS) {
        tip += locked ? L" " : L"";
        tip += kKeyboardBoxTip;
    }
    return tip;
}

} // namespace

bool CQuelvantDlg::ControlLocked(int nID) const {
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettingControls[i] == nID && Policy().Locks(i)) {
            return true;
        }
    }
    return false;
}

void CQuelvantDlg::ShowLockedSettings() {
    for (const int id : kSettingControls) {
        const auto managed = std::find(m_managedControls.begin(), m_managedControls.end(), id);
        if (ControlLocked(id)) {
            ::EnableWindow(GetDlgItem(id), FALSE);
            if (managed == m_managedControls.end()) {
                m_managedControls.push_back(id);
                SetControlTip(id, TipOf(id, true));
                SetHoverTip(id, true);
            }
        } else if (managed != m_managedControls.end()) {
            m_managedControls.erase(managed);
            ::EnableWindow(GetDlgItem(id), TRUE);
            SetControlTip(id, TipOf(id, false));
            SetHoverTip(id, false);
        }
    }
    // The touchpad box is grey also where the system cannot switch it, and says which.
    RefreshTouchpadAvailability();
}

// The pointer's messages over a disabled control go to the dialog, so the control's own tip
// never shows on hover; a second tool, the control's rectangle on the dialog, shows it there.
void CQuelvantDlg::SetHoverTip(int nID, bool show) {
    const HWND control = GetDlgItem(nID);
    if (m_hTip == nullptr || control == nullptr) {
        return;
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = kHoverToolBase + static_cast<UINT_PTR>(nID);
    if (!show) {
        ::SendMessageW(m_hTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        return;
    }
    ::GetWindowRect(control, &tool.rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    std::wstring text = TipOf(nID, true);
    tool.lpszText = text.data(); // copied by the tip window
    ::SendMessageW(m_hTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CQuelvantDlg::ReloadPolicy() {
    const SettingsPolicy policy = ReadPolicy();
    if (policy == Policy()) {
        return; // Windows says so after every refresh, changed or not
    }
    if (HandlerDepth() > 1) {
        ::SetTimer(m_hWnd, kPolicyRetryTimer, kPolicyRetryMs, RetryPolicy);
        return;
    }
    SetPolicy(policy);
    LoadSaveSettings(true);
    BringStoredChoiceIntoForce();
}

} // namespace quelvant::ui
