#include "RegistryPolicy.h"

#include "Handle.h"
#include "SettingsPolicy.h"
#include "SettingsTable.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
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

// Where the policy key is looked for and, while it or its parent is missing, the nearest
// parent that exists, watched for names so that the key's creation or deletion is seen.
constexpr const wchar_t* kParentPaths[] = {L"Software\\Policies", L"Software"};

bool Arm(HKEY key, bool subtree, DWORD filter, HANDLE event) {
    return ::RegNotifyChangeKeyValue(key, subtree ? TRUE : FALSE, filter, event, TRUE) ==
           ERROR_SUCCESS;
}

// Closing a key signals its pending watch: the event is cleared after it, as this closing is
// our own doing and no change.
void CloseWatched(UniqueRegKey& key, const UniqueKernelHandle& event) {
    if (key) {
        key.Reset();
        ::ResetEvent(event.Get());
    }
}

bool Deleted(HKEY key) {
    return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr) == ERROR_KEY_DELETED;
}

// One root's watch: the policy key with its subkeys for values, and its parent (or the nearest
// existing one) for names only, since a key deleted whole touches its parent and, on some
// systems, nothing that watches the key itself. Each watch is armed again on its own handle:
// a key is opened anew only when the watched path must change.
struct RootWatch {
    HKEY root = nullptr;
    UniqueKernelHandle parentEvent;
    UniqueKernelHandle keyEvent;
    UniqueRegKey parent;
    std::size_t parentLevel = std::size(kParentPaths);
    UniqueRegKey key;

    static constexpr DWORD kNames = REG_NOTIFY_CHANGE_NAME;
    static constexpr DWORD kValues = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

    // After a notice on either event (or at the start): the signalled watch armed again on the
    // same key, then the parent and the key opened where they appeared, went or moved.
    void Settle(bool parentSignalled, bool keySignalled) {
        if (parentSignalled && parent && !Arm(parent.Get(), false, kNames, parentEvent.Get())) {
            CloseWatched(parent, parentEvent);
        }
        if (keySignalled && key && !Arm(key.Get(), true, kValues, keyEvent.Get())) {
            CloseWatched(key, keyEvent);
        }
        SettleParent();
        if (key && Deleted(key.Get())) {
            CloseWatched(key, keyEvent);
        }
        if (!key) {
            if (::RegOpenKeyExW(root, kPolicyKey, 0, KEY_NOTIFY | KEY_QUERY_VALUE, key.Put()) !=
                ERROR_SUCCESS) {
                key.Release();
            } else if (!Arm(key.Get(), true, kValues, keyEvent.Get())) {
                CloseWatched(key, keyEvent);
            }
        }
    }

    // The nearest existing parent: a nearer one that appeared replaces the one watched, and a
    // watched one that went gives way to the next.
    void SettleParent() {
        if (parent && Deleted(parent.Get())) {
            CloseWatched(parent, parentEvent);
            parentLevel = std::size(kParentPaths);
        }
        for (std::size_t level = 0; level < std::size(kParentPaths); ++level) {
            if (parent && level >= parentLevel) {
                return; // the one watched is still the nearest
            }
            UniqueRegKey opened;
            if (::RegOpenKeyExW(root, kParentPaths[level], 0, KEY_NOTIFY | KEY_QUERY_VALUE,
                                opened.Put()) != ERROR_SUCCESS) {
                opened.Release();
                continue;
            }
            CloseWatched(parent, parentEvent);
            parent = std::move(opened);
            parentLevel = level;
            if (!Arm(parent.Get(), false, kNames, parentEvent.Get())) {
                CloseWatched(parent, parentEvent);
            }
            return;
        }
    }

    void Close() {
        CloseWatched(key, keyEvent);
        CloseWatched(parent, parentEvent);
        parentLevel = std::size(kParentPaths);
    }
};

// Both policy keys watched on a thread of its own, so that a value written by hand, a script
// or a .reg import, which the system announces to nobody, is noticed within a moment.
class PolicyWatch {
public:
    PolicyWatch(const PolicyWatch&) = delete;
    PolicyWatch& operator=(const PolicyWatch&) = delete;
    PolicyWatch() {
        m_roots[0].root = HKEY_LOCAL_MACHINE;
        m_roots[1].root = HKEY_CURRENT_USER;
    }
    ~PolicyWatch() { Stop(); }

    void Start(PolicySource::ChangeCallback changed, void* context) {
        if (m_thread || changed == nullptr) {
            return;
        }
        m_changed = changed;
        m_context = context;
        m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        for (RootWatch& watch : m_roots) {
            watch.parentEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
            watch.keyEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
            if (!watch.parentEvent || !watch.keyEvent || !m_stop) {
                return; // no watch: the system's broadcast and the next start still count
            }
        }
        // Watched from the moment this returns: nothing written after it goes unnoticed.
        m_ready.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_thread.Reset(::CreateThread(nullptr, 0, &PolicyWatch::Run, this, 0, nullptr));
        if (m_thread && m_ready) {
            const HANDLE waits[] = {m_ready.Get(), m_thread.Get()};
            ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        }
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
        for (RootWatch& watch : m_roots) {
            watch.Settle(false, false);
        }
        ::SetEvent(m_ready.Get());
        const HANDLE waits[] = {m_stop.Get(), m_roots[0].parentEvent.Get(),
                                m_roots[0].keyEvent.Get(), m_roots[1].parentEvent.Get(),
                                m_roots[1].keyEvent.Get()};
        for (;;) {
            const DWORD signalled = ::WaitForMultipleObjects(static_cast<DWORD>(std::size(waits)),
                                                             waits, FALSE, INFINITE);
            const DWORD index = signalled - WAIT_OBJECT_0;
            if (index == 0 || index >= std::size(waits)) {
                break;
            }
            const std::size_t which = (index - 1) % 2; // 0 the parent, 1 the key
            m_roots[(index - 1) / 2].Settle(which == 0, which == 1);
            m_changed(m_context);
        }
        for (RootWatch& watch : m_roots) {
            watch.Close();
        }
    }

    PolicySource::ChangeCallback m_changed = nullptr;
    void* m_context = nullptr;
    UniqueKernelHandle m_stop;
    UniqueKernelHandle m_ready;
    std::array<RootWatch, 2> m_roots;
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
