#include "SettingsPolicy.h"

namespace quelvant::core {

namespace {

using Locked = std::array<std::optional<StoredSettingValue>, kSettingCount>;

bool LockedOn(const Locked& locked, SettingIndex index) {
    return locked[index].has_value() && locked[index]->number != 0;
}

void LockOff(Locked& locked, SettingIndex index) {
    locked[index] = StoredSettingValue{};
}

void LockShortcutRecordOff(Locked& locked) {
    for (const SettingIndex index : {kKey2, kMod2, kKeyboardShortcutName2}) {
        LockOff(locked, index);
    }
}

void KeepTheRulesBetweenSettings(Locked& locked) {
    if (LockedOn(locked, kDisableKeyboardKeys)) {
        LockOff(locked, kCloseWithKeyboardShortcut);
        LockOff(locked, kDisableEnableKeyboardShortcut);
        LockShortcutRecordOff(locked);
        return;
    }
    if (locked[kDisableEnableKeyboardShortcut].has_value() &&
        locked[kDisableEnableKeyboardShortcut]->number == 0) {
        LockShortcutRecordOff(locked);
    }
    if (LockedOn(locked, kCloseWithKeyboardShortcut) ||
        LockedOn(locked, kDisableEnableKeyboardShortcut) || LockedOn(locked, kKey2)) {
        LockOff(locked, kDisableKeyboardKeys);
    }
}

} // namespace

std::optional<StoredSettingValue> DecodePolicyValue(const SettingDef& setting, std::uint32_t type,
                                                    const std::uint8_t* data, std::size_t size) {
    if (setting.kind == SettingKind::String) {
        std::optional<std::wstring> text = DecodeStoredText(type, data, size);
        if (!text || text->size() > kPolicyTextMax) {
            return std::nullopt;
        }
        return StoredSettingValue{0, std::move(*text)};
    }
    const std::optional<std::uint32_t> number = DecodeStoredNumber(type, data, size);
    const std::uint32_t highest = setting.kind == SettingKind::Bool ? 1u : setting.highest;
    if (!number || *number > highest) {
        return std::nullopt;
    }
    return StoredSettingValue{static_cast<std::int32_t>(*number), {}};
}

SettingsPolicy MergePolicy(const PolicyKeyValues& machine, const PolicyKeyValues& user) {
    SettingsPolicy policy;
    for (int i = 0; i < kSettingCount; ++i) {
        for (const PolicyKeyValues* key : {&machine, &user}) {
            const std::optional<RawPolicyValue>& raw = (*key)[i];
            if (!raw) {
                continue;
            }
            policy.locked[i] =
                DecodePolicyValue(kSettings[i], raw->type, raw->data.data(), raw->data.size());
            if (policy.locked[i]) {
                break;
            }
        }
    }
    KeepTheRulesBetweenSettings(policy.locked);
    return policy;
}

bool MergePolicySwitch(const std::optional<RawPolicyValue>& machine,
                       const std::optional<RawPolicyValue>& user, bool fallback) {
    static constexpr SettingDef kSwitch{L"", SettingKind::Bool, 0};
    for (const std::optional<RawPolicyValue>* key : {&machine, &user}) {
        if (*key) {
            const auto value =
                DecodePolicyValue(kSwitch, (*key)->type, (*key)->data.data(), (*key)->data.size());
            if (value) {
                return value->number != 0;
            }
        }
    }
    return fallback;
}

} // namespace quelvant::core
