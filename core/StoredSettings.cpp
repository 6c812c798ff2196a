#include "StoredSettings.h"

namespace quelvant::core {

namespace {
class StorePass {
public:
    explicit StorePass(SettingsStore& store) : m_store(store) { m_store.BeginPass(); }
    StorePass(const StorePass&) = delete;
    StorePass& operator=(const StorePass&) = delete;
    ~StorePass() { m_store.EndPass(); }

private:
    SettingsStore& m_store;
};
} // namespace

void StoredSettings::Load() {
    const StorePass pass(m_store);
    for (int i = 0; i < kSettingCount; ++i) {
        m_values.Set(i, Stored(i));
    }
    HoldLockedValues();
}

bool StoredSettings::Save() {
    bool written = true;
    const SettingValues::Values values = m_values.All();
    const StorePass pass(m_store);
    for (int i = 0; i < kSettingCount; ++i) {
        if (!m_policy.Locks(i)) {
            written = m_store.Save(kSettings[i], values[i]) && written;
        }
    }
    return written;
}

void StoredSettings::HoldLockedValues() {
    for (int i = 0; i < kSettingCount; ++i) {
        if (m_policy.Locks(i)) {
            m_values.Set(i, *m_policy.locked[i]);
        }
    }
}

bool StoredSettings::Reset(bool hasWindow) {
    for (int i = 0; i < kSettingCount; ++i) {
        if (!kSettings[i].keptByReset) {
            m_values.Set(i, DefaultValue(kSettings[i]));
        } else if (!hasWindow) {
            // Without a window the value was never loaded, so the stored choice is taken,
            // lest a reset from the command line silence a user who relies on speech.
            m_values.Set(i, Stored(i));
        }
    }
    // Only what no policy locks goes back to its starting value.
    HoldLockedValues();
    if (Save()) {
        return true;
    }
    // The store keeps what it held: the dialog shows that and brings it into force rather
    // than a reset that did not happen.
    Load();
    return false;
}

} // namespace quelvant::core
