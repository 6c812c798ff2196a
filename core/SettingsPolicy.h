// Settings an administrator presets and locks: values named and typed as the user's own under
// Software\Policies\Quelvant, the machine's key over the user's. Platform-free: the program
// reads the two keys' raw values, and what is locked, at which value, and what that means for
// the rules between settings is decided here and tested natively.
#pragma once

#include "StoredSettingValue.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quelvant::core {

// Under HKEY_LOCAL_MACHINE, then HKEY_CURRENT_USER.
inline constexpr const wchar_t* kPolicyKey = L"Software\\Policies\\Quelvant";

// The longest shortcut name a policy may give, as the templates' text box allows.
inline constexpr std::size_t kPolicyTextMax = 255;

// The policy-only value that lets an administrator forbid the lock for cleaning (REG_DWORD 0 or
// 1, default 1).
inline constexpr const wchar_t* kAllowTimedLockValue = L"m_bAllowTimedLock";

// One value as a policy key holds it.
struct RawPolicyValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// What one policy key holds for each row of the settings table; nothing where it has no value.
using PolicyKeyValues = std::array<std::optional<RawPolicyValue>, kSettingCount>;

// A policy's value for one setting, or nothing when it is not configured: of another type than
// the user's own value (a four-byte REG_DWORD, or a REG_SZ), or out of the setting's range
// (a switch 0 or 1, a word up to its highest, a name up to kPolicyTextMax characters).
std::optional<StoredSettingValue> DecodePolicyValue(const SettingDef& setting, std::uint32_t type,
                                                    const std::uint8_t* data, std::size_t size);

// The settings in force by policy, each with its value; the rest are the user's.
struct SettingsPolicy {
    std::array<std::optional<StoredSettingValue>, kSettingCount> locked;
    // Policy-only, no user setting behind it: kAllowTimedLockValue.
    bool allowTimedLock = true;

    bool Locks(int index) const { return locked[index].has_value(); }
    bool operator==(const SettingsPolicy&) const = default;
};

// Machine over user, value by value: a machine value that is not configured leaves the user's
// policy to speak. Then the rules between settings: keyboard blocking in force by policy holds
// both shortcuts off (it wins where a policy asks for both); a Disable / Enable shortcut switched
// off by policy has no key; a shortcut switched on by policy holds keyboard blocking off, so
// that no click can take it away.
SettingsPolicy MergePolicy(const PolicyKeyValues& machine, const PolicyKeyValues& user);

// A policy-only switch (REG_DWORD 0 or 1), machine over user; the fallback when neither key
// configures it.
bool MergePolicySwitch(const std::optional<RawPolicyValue>& machine,
                       const std::optional<RawPolicyValue>& user, bool fallback);

} // namespace quelvant::core
