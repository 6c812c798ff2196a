#include "RegistryPolicy.h"

#include "Handle.h"

#include <windows.h>

#include <vector>

namespace quelvant::adapters {

namespace {

using namespace core;

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

class RegistryPolicySource final : public PolicySource {
public:
    SettingsPolicy Read() override {
        return MergePolicy(ReadPolicyKey(HKEY_LOCAL_MACHINE), ReadPolicyKey(HKEY_CURRENT_USER));
    }
};

} // namespace

core::PolicySource& RegistryPolicy() {
    static RegistryPolicySource policy;
    return policy;
}

} // namespace quelvant::adapters
