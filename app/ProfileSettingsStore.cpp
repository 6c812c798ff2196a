#include "ProfileSettingsStore.h"

#include "afxwin.h"

#include <vector>

namespace {
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
