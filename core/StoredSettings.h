// The settings in the store and under policy: every one loaded into the members or saved
// from them, what an administrator locks held at the policy's value, and the stored reset.
#pragma once

#include "Ports.h"
#include "SettingMembers.h"
#include "SettingsPolicy.h"

namespace quelvant::core {

class StoredSettings {
public:
    StoredSettings(SettingMembers& members, SettingsStore& store) noexcept
        : m_members(members), m_store(store) {}
    StoredSettings(const StoredSettings&) = delete;
    StoredSettings& operator=(const StoredSettings&) = delete;

    // Every setting, in table order. A setting locked by policy loads as the policy's value, and
    // its stored value, the user's own, is never written over: it comes back when the policy
    // goes. A save returns whether every value was taken; a failed write does not stop the
    // ones after it.
    void Load();
    bool Save();

    // Whatever a control or a rule put into the member of a locked setting, the policy's value
    // is the one that holds.
    void HoldLockedValues();

    // Members to their reset values, saved. With no window the members were never loaded, so
    // the stored "Audible Alerts" is kept. When the store does not take every value, the
    // members are read back and false is returned.
    bool Reset(bool hasWindow);

    // The value the store holds for one row, whatever the members say.
    StoredSettingValue Stored(int index) { return m_store.Load(kSettings[index]); }

    void SetPolicy(const SettingsPolicy& policy) { m_policy = policy; }
    const SettingsPolicy& Policy() const noexcept { return m_policy; }

private:
    SettingMembers& m_members;
    SettingsStore& m_store;
    SettingsPolicy m_policy; // nothing locked until the dialog reads it
};

} // namespace quelvant::core
