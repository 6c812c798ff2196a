// The auto-start box: the core decides what the Run list gets and what the box shows.
#include "QuelvantDlg.h"

namespace quelvant::ui {

void CQuelvantDlg::OnBnClickedAutoStart() {
    UpdateData(TRUE);
    const BOOL wanted = m_bAutoStartAtLogon;
    if (const wchar_t* error = ChangeAutoStart(wanted != 0); error != nullptr) {
        ShowError(error);
    }
}

const wchar_t* CQuelvantDlg::ChangeAutoStart(bool enable) {
    const core::AutoStartControl::Outcome outcome = m_autoStart.Change(enable);
    m_bAutoStartAtLogon = outcome.ticked ? 1 : 0;
    if (m_hWnd != nullptr) {
        UpdateData(FALSE);
    }
    return outcome.error;
}

} // namespace quelvant::ui
