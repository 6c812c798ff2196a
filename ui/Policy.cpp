// Settings an administrator locks, in the window: the policy read again when it changed, locked
// controls greyed with a word that says why, the managed line, and the tooltips that carry it.
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

// The tooltip a control has of its own: the keyboard box tells the way out.
std::wstring TipOf(int nID, bool locked) {
    const std::wstring managed = locked ? LoadText(TextId::ManagedTip) : std::wstring();
    if (nID != IDC_CHECK_DISABLE_KEYBOARD_KEYS) {
        return managed;
    }
    const std::wstring own = LoadText(TextId::KeyboardBoxTip);
    return locked ? FillText(LoadText(TextId::TwoSentences), {managed, own}) : own;
}

} // namespace

bool CQuelvantDlg::ControlLocked(int nID) const {
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettingControls[i] == nID && m_core.Policy().Locks(i)) {
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
    ShowManagedLine();
}

void CQuelvantDlg::ShowManagedLine() {
    const HWND line = GetDlgItem(IDC_EDIT_MANAGED);
    // The locked boxes by their own texts, each once, without their access-key marks.
    std::wstring names;
    std::vector<int> named;
    for (const int id : kSettingControls) {
        if (!ControlLocked(id) || std::find(named.begin(), named.end(), id) != named.end()) {
            continue;
        }
        named.push_back(id);
        wchar_t text[128] = {};
        ::GetWindowTextW(GetDlgItem(id), text, static_cast<int>(std::size(text)));
        names += (names.empty() ? std::wstring() : Text(TextId::NameListSeparator)) +
                 WithoutAccessKey(text);
    }
    const bool show = !names.empty();
    if (show) {
        const std::wstring description = Fill(TextId::ManagedLineDescription, {names});
        SetControlTip(IDC_EDIT_MANAGED, description);
        m_annotations.SetName(line, Text(TextId::ManagedLine).c_str());
        m_annotations.SetDescription(line, description.c_str());
    } else if (::GetFocus() == line) {
        // Hidden, it would keep the focus where nobody can see it.
        SendMessage(WM_NEXTDLGCTL, 0, FALSE);
    }
    ::ShowWindow(line, show ? SW_SHOWNA : SW_HIDE);
    if (show == m_bManagedLineRoom) {
        return;
    }
    // The dialog ends below the status line unless the managed line is there; nothing else
    // moves.
    RECT status{};
    RECT lineRect{};
    RECT window{};
    ::GetWindowRect(GetDlgItem(IDC_EDIT_STATUS), &status);
    ::GetWindowRect(line, &lineRect);
    ::GetWindowRect(m_hWnd, &window);
    const int room = lineRect.bottom - status.bottom;
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left,
                   window.bottom - window.top + (show ? room : -room),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_bManagedLineRoom = show;
}

LRESULT CQuelvantDlg::OnSettingsNoted(WPARAM wParam, LPARAM /*lParam*/) {
    m_bPolicyNoted = m_bPolicyNoted || (wParam & kNotedPolicy) != 0;
    if (m_bPolicyNoted) {
        m_bPolicyNoted = false;
        ReloadPolicy();
    }
    if ((wParam & kNotedSystem) != 0) {
        // A touchpad may have come or gone, or the system may now have the switch.
        RefreshTouchpadAvailability();
    }
    return 0;
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
    const SettingsPolicy policy = m_core.ReadPolicy();
    if (policy == m_core.Policy()) {
        return; // Windows says so after every refresh, changed or not
    }
    if (HandlerDepth() > 1) {
        // A box of ours is open: the change waits until it is closed.
        m_bPolicyNoted = true;
        ::SetTimer(m_hWnd, kPolicyRetryTimer, kPolicyRetryMs, nullptr);
        return;
    }
    if (m_core.TimedLockActive()) {
        m_bPolicyWaits = true; // nothing changes the blocking while a lock lasts
        return;
    }
    m_core.SetPolicy(policy);
    m_core.LoadSettings();
    BringStoredChoiceIntoForce();
}

// Screen readers read a control's tooltip as its description, so what a box does or why it
// cannot be changed is heard where it matters. One tip window serves every control; it belongs
// to the dialog and goes with it. An empty text takes the control's tip away.
void CQuelvantDlg::SetControlTip(int nID, const std::wstring& text) {
    if (!m_bWindowSeen) {
        std::erase_if(m_pendingTips, [nID](const auto& tip) { return tip.first == nID; });
        m_pendingTips.emplace_back(nID, text);
        return;
    }
    if (m_hTip == nullptr) {
        m_hTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   m_hWnd, nullptr, nullptr, nullptr);
        if (m_hTip == nullptr) {
            return;
        }
        ::SendMessageW(m_hTip, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    const HWND control = GetDlgItem(nID);
    if (control == nullptr) {
        return;
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    const bool known =
        ::SendMessageW(m_hTip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
    if (text.empty()) {
        if (known) {
            ::SendMessageW(m_hTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        return;
    }
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(m_hTip, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                   reinterpret_cast<LPARAM>(&tool));
}

} // namespace quelvant::ui
