// The reset in the window: the core resets and stores the settings; the dialog brings them
// into force, refreshes its shortcuts and boxes, and removes the Run entry.
#include "QuelvantDlg.h"

#include "SettingsTable.h"

namespace quelvant::ui {

using namespace core;

BOOL CQuelvantDlg::ResetSettings() {
    const bool hasWindow = m_hWnd != nullptr;
    const bool written = m_core.ResetStoredSettings(hasWindow);
    if (!written) {
        // The store kept what it held, and auto start stays as it is.
        m_core.ReadAutoStart();
    }
    if (!hasWindow) {
        // With a window the reset's apply switches the touchpad back on.
        m_core.GiveTouchpadBack();
    } else {
        BringStoredChoiceIntoForce();
    }
    if (!written) {
        if (hasWindow) {
            ShowError(Text(TextId::ResetFailed));
        }
        return FALSE;
    }
    if (const std::wstring error = ChangeAutoStart(false); !error.empty()) {
        if (hasWindow) {
            ShowError(error);
        }
        return FALSE;
    }
    return TRUE;
}

} // namespace quelvant::ui
