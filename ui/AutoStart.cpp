// The program's entry in the user's Run list.
#include "QuelvantDlg.h"

#include "AutoStartRules.h"

#include <vector>

namespace quelvant::ui {

using namespace core;

namespace {
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Opened, never created: a missing Run list is left missing. Reading asks for read access
// only, so that a Run list the user may not change still shows what it holds.
UniqueRegKey OpenRunKey(REGSAM access) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, access, key.Put()) != ERROR_SUCCESS) {
        key.Release();
    }
    return key;
}

// The whole path of the running program, however long: the buffer grows until it fits.
CString ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return CString(buffer.data(), length);
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

CString ApplicationTitle() {
    const CWinApp* app = AfxGetApp();
    return app != nullptr ? app->m_strAppName : CString();
}
} // namespace

void CQuelvantDlg::OnBnClickedAutoStart() {
    UpdateData(TRUE);
    const BOOL wanted = m_bAutoStartAtLogon;
    if (!ChangeAutoStart(wanted)) {
        ShowError(AutoStartFailedText(wanted != 0));
    }
}

bool CQuelvantDlg::ChangeAutoStart(BOOL bEnable) {
    SetAutoStart(bEnable);
    // Neither the write nor the delete reports back: the Run list itself is the answer.
    m_bAutoStartAtLogon = IsAutoStartEnabled() == 1 ? 1 : 0;
    if (m_hWnd != nullptr) {
        UpdateData(FALSE);
    }
    return (m_bAutoStartAtLogon != 0) == (bEnable != 0);
}

void CQuelvantDlg::SetAutoStart(BOOL bEnable) {
    const UniqueRegKey key = OpenRunKey(KEY_READ | KEY_WRITE);
    if (!key) {
        return;
    }
    const CString name = ApplicationTitle();
    if (bEnable != 0) {
        const CString path = ProgramPath();
        if (path.empty()) {
            return;
        }
        const CString entry = ComposeRunEntry(path);
        ::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(entry.c_str()),
                         static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));
    } else {
        ::RegDeleteValueW(key.Get(), name.c_str());
    }
}

int CQuelvantDlg::IsAutoStartEnabled() {
    const UniqueRegKey key = OpenRunKey(KEY_READ);
    if (!key) {
        return -2;
    }
    // Read with its real size, asked for first: a long program path is written whole and must
    // read back whole. Should the value grow in between, its size is asked for again.
    const CString name = ApplicationTitle();
    std::vector<BYTE> buffer;
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 3 && status == ERROR_MORE_DATA; ++attempt) {
        size = 0;
        if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            size > kRunValueCapacity * sizeof(wchar_t)) {
            return 0;
        }
        buffer.assign(size + sizeof(wchar_t), 0); // never empty, so never a size-only query
        status = ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, buffer.data(), &size);
    }
    if (status != ERROR_SUCCESS) {
        return 0;
    }
    const auto text = DecodeRunValue(type, buffer.data(), size);
    if (!text) {
        return 0;
    }
    const CString path = RunEntryLookupPath(*text);
    CFileFind finder;
    return finder.FindFile(path.c_str()) ? 1 : 0;
}

} // namespace quelvant::ui
