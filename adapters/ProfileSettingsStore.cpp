#include "ProfileSettingsStore.h"

#include "afxwin.h"

#include <vector>

namespace quelvant::adapters {

namespace {

using core::SettingDef;
using core::StoredSettingValue;

class RegistryProfileStore final : public core::SettingsStore {
public:
    StoredSettingValue Load(const SettingDef& setting) override {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        const CWinApp* app = AfxGetApp();
        if (app == nullptr ||
            !app->GetProfileValue(core::kSettingsSection, setting.name, type, data)) {
            return core::DecodeStoredSetting(setting, REG_NONE, nullptr, 0);
        }
        return core::DecodeStoredSetting(setting, type, data.data(), data.size());
    }

    bool Save(const SettingDef& setting, const StoredSettingValue& value) override {
        const CWinApp* app = AfxGetApp();
        if (app == nullptr) {
            return false;
        }
        if (setting.kind == core::SettingKind::String) {
            return app->WriteProfileString(core::kSettingsSection, setting.name,
                                           value.text.c_str()) != 0;
        }
        return app->WriteProfileInt(core::kSettingsSection, setting.name, value.number) != 0;
    }

    void BeginPass() override {
        if (const CWinApp* app = AfxGetApp()) {
            app->HoldProfileKey();
        }
    }
    void EndPass() override {
        if (const CWinApp* app = AfxGetApp()) {
            app->ReleaseProfileKey();
        }
    }
};

} // namespace

core::SettingsStore& ProfileSettingsStore() {
    static RegistryProfileStore store;
    return store;
}

} // namespace quelvant::adapters
