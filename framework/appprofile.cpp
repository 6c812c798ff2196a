// The application object's per-user profile in the registry: the section keys, held open
// through a pass, and the four profile functions over whole raw values.
#include "afxwin.h"

#include "StoredValue.h"

#include <vector>

namespace {
CString RegistryPath(const CWinApp& app, const wchar_t* section) {
    CString path = L"Software\\" + app.m_strRegistryKey + L"\\" + app.m_strProfileName;
    if (section != nullptr && *section != L'\0') {
        path += L"\\";
        path += section;
    }
    return path;
}
} // namespace

void CWinApp::SetRegistryKey(const wchar_t* lpszRegistryKey) {
    m_strRegistryKey = lpszRegistryKey != nullptr ? lpszRegistryKey : L"";
    m_strProfileName = m_strAppName;
}

UniqueRegKey CWinApp::OpenSectionKey(const wchar_t* section, bool create) const {
    UniqueRegKey key;
    if (m_strRegistryKey.empty() || m_strProfileName.empty()) {
        return key;
    }
    const CString path = RegistryPath(*this, section);
    LONG status;
    if (create) {
        status =
            ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, key.Put(), nullptr);
    } else {
        status = ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Put());
    }
    if (status != ERROR_SUCCESS) {
        key.Release();
    }
    return key;
}

HKEY CWinApp::SectionKey(const wchar_t* section, bool create) const {
    SectionKeyCache& cache = m_sectionKey;
    CString path = RegistryPath(*this, section);
    if (cache.key && cache.path == path && (cache.writable || !create)) {
        return cache.key.Get();
    }
    UniqueRegKey key = OpenSectionKey(section, create);
    if (!key) {
        return nullptr;
    }
    cache = {std::move(path), create, std::move(key)};
    return cache.key.Get();
}

void CWinApp::ReleaseProfileKey() const noexcept {
    if (m_sectionKeyHolds > 0) {
        --m_sectionKeyHolds;
    }
    CloseSectionKeyUnlessHeld();
}

void CWinApp::CloseSectionKeyUnlessHeld() const noexcept {
    if (m_sectionKeyHolds == 0) {
        m_sectionKey = {};
    }
}

namespace {

// Reads one value whole; ERROR_SUCCESS when it was read. Most values are a number or a short
// name and are read at the first call, one round trip to the registry; a longer one is asked
// for its size, and may grow between asking and reading: ask again until it fits.
LONG ReadValue(HKEY key, const wchar_t* entry, DWORD& type, std::vector<BYTE>& data) {
    constexpr DWORD kFirstTry = 256;
    data.assign(kFirstTry, 0);
    DWORD firstRead = kFirstTry;
    const LONG first = ::RegQueryValueExW(key, entry, nullptr, &type, data.data(), &firstRead);
    if (first != ERROR_MORE_DATA) {
        data.resize(first == ERROR_SUCCESS ? firstRead : 0);
        return first;
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        LONG status = ::RegQueryValueExW(key, entry, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // Never empty, so the read below is never taken for a question about the size.
        data.assign(static_cast<size_t>(size) + sizeof(wchar_t), 0);
        DWORD read = size;
        status = ::RegQueryValueExW(key, entry, nullptr, &type, data.data(), &read);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status == ERROR_SUCCESS) {
            data.resize(read);
        }
        return status;
    }
    return ERROR_MORE_DATA;
}

} // namespace

BOOL CWinApp::GetProfileValue(const wchar_t* section, const wchar_t* entry, DWORD& type,
                              std::vector<BYTE>& data) const {
    for (int attempt = 0; attempt < 2; ++attempt) {
        data.clear();
        type = REG_NONE;
        const HKEY key = SectionKey(section, false);
        if (key == nullptr) {
            return FALSE;
        }
        const LONG status = ReadValue(key, entry, type, data);
        CloseSectionKeyUnlessHeld();
        if (status == ERROR_SUCCESS) {
            return TRUE;
        }
        if (status != ERROR_KEY_DELETED) {
            break;
        }
        m_sectionKey = {};
    }
    data.clear();
    type = REG_NONE;
    return FALSE;
}

BOOL CWinApp::WriteProfileValue(const wchar_t* section, const wchar_t* entry, DWORD type,
                                const BYTE* data, DWORD size) const {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const HKEY key = SectionKey(section, true);
        if (key == nullptr) {
            return FALSE;
        }
        const LONG status = ::RegSetValueExW(key, entry, 0, type, data, size);
        CloseSectionKeyUnlessHeld();
        if (status != ERROR_KEY_DELETED) {
            return status == ERROR_SUCCESS;
        }
        m_sectionKey = {};
    }
    return FALSE;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int nDefault) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!GetProfileValue(section, entry, type, data)) {
        return static_cast<UINT>(nDefault);
    }
    return DecodeStoredNumber(type, data.data(), data.size()).value_or(static_cast<UINT>(nDefault));
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int nValue) const {
    const DWORD value = static_cast<DWORD>(nValue);
    return WriteProfileValue(section, entry, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value));
}

CString CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry,
                                  const wchar_t* lpszDefault) const {
    const CString fallback = lpszDefault != nullptr ? lpszDefault : L"";
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!GetProfileValue(section, entry, type, data)) {
        return fallback;
    }
    return DecodeStoredText(type, data.data(), data.size()).value_or(fallback);
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry,
                                 const wchar_t* lpszValue) const {
    const CString value = lpszValue != nullptr ? lpszValue : L"";
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return WriteProfileValue(section, entry, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             bytes);
}
