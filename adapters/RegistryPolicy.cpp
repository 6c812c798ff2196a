#include "RegistryPolicy.h"

#include "Handle.h"
#include "TimedLock.h"

#include <windows.h>

#include <array>
#include <optional>
#include <vector>

namespace quelvant::adapters {

namespace {

using namespace core;

// Room for the longest value a policy may set; anything longer is not configured.
constexpr DWORD kPolicyValueRoom = 1024;
static_assert(kPolicyValueRoom > (kPolicyTextMax + 1) * sizeof(wchar_t));

// One value of a policy key; nothing where it is missing or cannot be read whole.
std::optional<RawPolicyValue> ReadPolicyValue(HKEY key, const wchar_t* name) {
    BYTE buffer[kPolicyValueRoom];
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return RawPolicyValue{type, std::vector<std::uint8_t>(buffer, buffer + size)};
}

// What one policy key holds for each setting and for the policy-only switch.
struct PolicyKey {
    PolicyKeyValues settings;
    std::optional<RawPolicyValue> allowTimedLock;
};

PolicyKey ReadPolicyKey(HKEY root) {
    PolicyKey values;
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, kPolicyKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        key.Release();
        return values;
    }
    for (int i = 0; i < kSettingCount; ++i) {
        values.settings[i] = ReadPolicyValue(key.Get(), kSettings[i].name);
    }
    values.allowTimedLock = ReadPolicyValue(key.Get(), kAllowTimedLockValue);
    return values;
}

// The policy key itself, watched with its subkeys; while it does not exist, the nearest
// parent that does, for the key's creation.
UniqueRegKey OpenWatchedKey(HKEY root, bool& subtree) {
    static constexpr const wchar_t* kPaths[] = {kPolicyKey, L"Software\\Policies", L"Software"};
    for (const wchar_t* path : kPaths) {
        UniqueRegKey key;
        if (::RegOpenKeyExW(root, path, 0, KEY_NOTIFY, key.Put()) == ERROR_SUCCESS) {
            subtree = path == kPolicyKey;
            return key;
        }
        key.Release();
    }
    return {};
}

// Both policy keys watched on a thread of its own, so that a value written by hand, a script
// or a .reg import, which the system announces to nobody, is noticed within a moment.
class PolicyWatch {
public:
    PolicyWatch(const PolicyWatch&) = delete;
    PolicyWatch& operator=(const PolicyWatch&) = delete;
    PolicyWatch() = default;
    ~PolicyWatch() { Stop(); }

    void Start(PolicySource::ChangeCallback changed, void* context) {
        if (m_thread || changed == nullptr) {
            return;
        }
        m_changed = changed;
        m_context = context;
        m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        for (UniqueKernelHandle& event : m_events) {
            event.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
            if (!event || !m_stop) {
                return; // no watch: the system's broadcast and the next start still count
            }
        }
        m_thread.Reset(::CreateThread(nullptr, 0, &PolicyWatch::Run, this, 0, nullptr));
    }

    void Stop() {
        if (!m_thread) {
            return;
        }
        ::SetEvent(m_stop.Get());
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }

private:
    static DWORD WINAPI Run(void* parameter) {
        static_cast<PolicyWatch*>(parameter)->Loop();
        return 0;
    }

    // Armed again before the news goes out, so that no change in between is missed.
    void Loop() {
        std::array<UniqueRegKey, 2> keys;
        Arm(keys);
        const HANDLE waits[] = {m_stop.Get(), m_events[0].Get(), m_events[1].Get()};
        while (::WaitForMultipleObjects(3, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            Arm(keys);
            m_changed(m_context);
        }
    }

    void Arm(std::array<UniqueRegKey, 2>& keys) {
        const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
        for (std::size_t i = 0; i < keys.size(); ++i) {
            bool subtree = false;
            keys[i] = OpenWatchedKey(roots[i], subtree);
            if (keys[i]) {
                ::RegNotifyChangeKeyValue(keys[i].Get(), subtree ? TRUE : FALSE,
                                          REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                          m_events[i].Get(), TRUE);
            }
        }
    }

    PolicySource::ChangeCallback m_changed = nullptr;
    void* m_context = nullptr;
    UniqueKernelHandle m_stop;
    std::array<UniqueKernelHandle, 2> m_events;
    UniqueKernelHandle m_thread;
};

class RegistryPolicySource final : public PolicySource {
public:
    SettingsPolicy Read() override {
        const PolicyKey machine = ReadPolicyKey(HKEY_LOCAL_MACHINE);
        const PolicyKey user = ReadPolicyKey(HKEY_CURRENT_USER);
        SettingsPolicy policy = MergePolicy(machine.settings, user.settings);
        policy.allowTimedLock =
            MergePolicySwitch(machine.allowTimedLock, user.allowTimedLock, true);
        return policy;
    }
    void Watch(ChangeCallback changed, void* context) override { m_watch.Start(changed, context); }
    void StopWatching() override { m_watch.Stop(); }

private:
    PolicyWatch m_watch;
};

} // namespace

core::PolicySource& RegistryPolicy() {
    static RegistryPolicySource policy;
    return policy;
}

} // namespace quelvant::adapters
