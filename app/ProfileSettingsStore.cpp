#include "ProfileSettingsStore.h"

#include "afxwin.h"

#include <vector>

namespace {

// Room for the longest value a policy may set; anything longer is not configured.
constexpr DWORD kPolicyValueRoom = 1024;
static_assert(kPolicyValueRoom > (kPolicyTextMax + 1) * sizeof(wchar_t));

// What one policy key holds for each setting; nothing where the key or a value is missing or
// cannot be read whole.
PolicyKeyValues ReadPolicyKey(HKEY root) {
    PolicyKeyValues values;
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, kPolicyKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        key.Release();
        return values;
    }
    for (int i = 0; i < kSettingCount; ++i) {
        BYTE buffer[kPolicyValueRoom];
        DWORD size = sizeof buffer;
        DWORD type = REG_NONE;
        if (::RegQueryValueExW(key.Get(), kSettings[i].name, nullptr, &type, buffer, &size) ==
            ERROR_SUCCESS) {
            values[i] = RawPolicyValue{type, std::vector<std::uint8_t>(buffer, buffer + size)};
        }
    }
    return values;
}

class RegistryProfileStore final : public SettingsStore {
public:
    StoredSettingValue Load(const SettingDef& setting) override {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        const CWinApp* app = AfxGetApp();
        if (app == nullptr || !app->GetProfileValue(kSettingsSection, setting.name, type, data)) {
            return DecodeStoredSetting(setting, REG_NONE, nullptr, 0);
        }
        return DecodeStoredSetting(setting, type, data.data(), data.size());
    }

    bool Save(const SettingDef& setting, const StoredSettingValue& value) override {
        const CWinApp* app = AfxGetApp();
        if (app == nullptr) {
            return false;
        }
        if (setting.kind == SettingKind::String) {
            return app->WriteProfileString(kSettingsSection, setting.name, value.text.c_str()) != 0;
        }
        return app->WriteProfileInt(kSettingsSection, setting.name, value.number) != 0;
    }
};
} // namespace

SettingsStore& ProfileSettingsStore() {
    static RegistryProfileStore store;
    return store;
}

SettingsPolicy ReadSettingsPolicy() {
    return MergePolicy(ReadPolicyKey(HKEY_LOCAL_MACHINE), ReadPolicyKey(HKEY_CURRENT_USER));
}
