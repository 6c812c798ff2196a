// The auto-start box: the core decides what the Run list gets and what the box shows.
#include "QuelvantDlg.h"

namespace quelvant::ui {

void CQuelvantDlg::OnBnClickedAutoStart() {
    if (const wchar_t* error = ChangeAutoStart(Ticked(IDC_CHECK_AUTO_START)); error != nullptr) {
        ShowError(error);
    }
}

const wchar_t* CQuelvantDlg::ChangeAutoStart(bool enable) {
    const wchar_t* error = m_core.SetAutoStart(enable);
    ShowView();
    return error;
}

} // namespace quelvant::ui
