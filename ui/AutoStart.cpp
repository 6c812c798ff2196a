// The auto-start box: the core decides what the Run list gets and what the box shows.
#include "QuelvantDlg.h"

namespace quelvant::ui {

void CQuelvantDlg::OnBnClickedAutoStart() {
    if (const std::wstring error = ChangeAutoStart(Ticked(IDC_CHECK_AUTO_START)); !error.empty()) {
        ShowError(error);
    }
}

std::wstring CQuelvantDlg::ChangeAutoStart(bool enable) {
    const std::optional<core::TextId> error = m_core.SetAutoStart(enable);
    ShowView();
    return error ? Text(*error) : std::wstring();
}

} // namespace quelvant::ui
