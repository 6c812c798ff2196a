// The program's entry in the user's Run list, read and written through the registry.
#include "RegistryRunList.h"

#include "AutoStartRules.h"
#include "afxcmn.h"

#include <utility>
#include <vector>

namespace quelvant::adapters {

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

CString ApplicationTitle() {
    const CWinApp* app = AfxGetApp();
    return app != nullptr ? app->m_strAppName : CString();
}

class RunKey final : public core::RunList {
public:
    bool Read(Entry& entry) override {
        entry = Entry{};
        const UniqueRegKey key = OpenRunKey(KEY_READ);
        if (!key) {
            return false;
        }
        // Read with its real size, asked for first: a long program path is written whole and
        // must read back whole. Should the value grow in between, its size is asked for again.
        // A value longer than any path can be is not read at all.
        const CString name = ApplicationTitle();
        std::vector<BYTE> buffer;
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < 3 && status == ERROR_MORE_DATA; ++attempt) {
            size = 0;
            if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                    ERROR_SUCCESS ||
                size > core::kRunValueCapacity * sizeof(wchar_t)) {
                return true;
            }
            buffer.assign(size + sizeof(wchar_t), 0); // never empty, so never a size-only query
            status =
                ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, buffer.data(), &size);
        }
        if (status == ERROR_SUCCESS) {
            buffer.resize(size);
            entry.found = true;
            entry.type = type;
            entry.data = std::move(buffer);
        }
        return true;
    }

    void Write(const std::wstring& text) override {
        const UniqueRegKey key = OpenRunKey(KEY_READ | KEY_WRITE);
        if (key) {
            ::RegSetValueExW(key.Get(), ApplicationTitle().c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
    }

    void Delete() override {
        const UniqueRegKey key = OpenRunKey(KEY_READ | KEY_WRITE);
        if (key) {
            ::RegDeleteValueW(key.Get(), ApplicationTitle().c_str());
        }
    }

    // The whole path of the running program, however long: the buffer grows until it fits.
    std::wstring ProgramPath() override {
        std::vector<wchar_t> buffer(MAX_PATH);
        for (;;) {
            const DWORD length =
                ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) {
                return {};
            }
            if (length < buffer.size()) {
                return std::wstring(buffer.data(), length);
            }
            if (buffer.size() >= 32768) {
                return {};
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    bool FileExists(const std::wstring& path) override {
        CFileFind finder;
        return finder.FindFile(path.c_str()) != FALSE;
    }
};
} // namespace

core::RunList& RegistryRunList() {
    static RunKey list;
    return list;
}

} // namespace quelvant::adapters
