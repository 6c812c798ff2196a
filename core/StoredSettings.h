// The settings in the store and under policy: every one loaded into the values or saved
// from them, what an administrator locks held at the policy's value, and the stored reset.
#pragma once

#include "Ports.h"
#include "SettingValues.h"
#include "SettingsPolicy.h"

namespace quelvant::core {

class StoredSettings {
public:
    StoredSettings(SettingValues& values, SettingsStore& store) noexcept
        : m_values(values), m_store(store) {}
    StoredSettings(const StoredSettings&) = delete;
    StoredSettings& operator=(const StoredSettings&) = delete;

    // Every setting, in table order. A setting locked by policy loads as the policy's value, and
    // its stored value, the user's own, is never written over: it comes back when the policy
    // goes. A save returns whether every value was taken; a failed write does not stop the
    // ones after it.
    void Load();
    bool Save();

    // Whatever a click or a rule put into the value of a locked setting, the policy's value is
    // the one that holds.
    void HoldLockedValues();

    // Values to their reset values, saved. With no window the values were never loaded, so
    // the stored "Audible Alerts" is kept. When the store does not take every value, the
    // values are read back and false is returned.
    bool Reset(bool hasWindow);

    // The value the store holds for one row, whatever the values say.
    StoredSettingValue Stored(int index) { return m_store.Load(kSettings[index]); }

    void SetPolicy(const SettingsPolicy& policy) { m_policy = policy; }
    const SettingsPolicy& Policy() const noexcept { return m_policy; }

private:
    SettingValues& m_values;
    SettingsStore& m_store;
    SettingsPolicy m_policy; // nothing locked until the dialog reads it
};

} // namespace quelvant::core
