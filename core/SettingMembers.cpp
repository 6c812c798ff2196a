#include "SettingMembers.h"

#include <iterator>
#include <string_view>

namespace quelvant::core {

namespace {

// Which member holds each stored setting. The value name is the member's own name, spelled
// once by the macro below, and the compiler checks names, kinds and order against the
// settings table, so the two cannot drift apart.
struct SettingMember {
    const wchar_t* name;
    std::int32_t SettingMembers::*boolMember = nullptr;
    std::uint16_t SettingMembers::*wordMember = nullptr;
    std::wstring SettingMembers::*textMember = nullptr;

    constexpr SettingMember(const wchar_t* n, std::int32_t SettingMembers::*m)
        : name(n), boolMember(m) {}
    constexpr SettingMember(const wchar_t* n, std::uint16_t SettingMembers::*m)
        : name(n), wordMember(m) {}
    constexpr SettingMember(const wchar_t* n, std::wstring SettingMembers::*m)
        : name(n), textMember(m) {}

    constexpr SettingKind Kind() const {
        return boolMember != nullptr   ? SettingKind::Bool
               : wordMember != nullptr ? SettingKind::Word
                                       : SettingKind::String;
    }
};

#define QUELVANT_SETTING(member) SettingMember(L## #member, &SettingMembers::member)

constexpr SettingMember kSettingMembers[] = {
    QUELVANT_SETTING(m_bCheckDisableLeftClick),
    QUELVANT_SETTING(m_bCheckDisableMiddleClick),
    QUELVANT_SETTING(m_bCheckDisableMouseMovements),
    QUELVANT_SETTING(m_bCheckDisableMouseWheel),
    QUELVANT_SETTING(m_bCheckDisableRightClick),
    QUELVANT_SETTING(m_bDisableKeyboardKeys),
    QUELVANT_SETTING(m_bAutoMinimize),
    QUELVANT_SETTING(m_bCloseWithKeyboardShortcut),
    QUELVANT_SETTING(m_bAllowInjected),
    QUELVANT_SETTING(m_bDisableEnableKeyboardShortcut),
    QUELVANT_SETTING(m_wKey2),
    QUELVANT_SETTING(m_wMod2),
    QUELVANT_SETTING(m_sKeyboardShortcutName2),
    QUELVANT_SETTING(m_bAudibleAlerts),
    QUELVANT_SETTING(m_bDisableTouchpad),
};

#undef QUELVANT_SETTING

constexpr bool MembersMatchTheSettingsTable() {
    if (std::size(kSettingMembers) != std::size(kSettings)) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        if (std::wstring_view(kSettingMembers[i].name) != kSettings[i].name ||
            kSettingMembers[i].Kind() != kSettings[i].kind) {
            return false;
        }
    }
    return true;
}
static_assert(MembersMatchTheSettingsTable(),
              "every stored setting needs its member, in table order and of its kind");

} // namespace

StoredSettingValue SettingMembers::Get(int index) const {
    const SettingMember& member = kSettingMembers[index];
    StoredSettingValue value;
    switch (kSettings[index].kind) {
    case SettingKind::Bool:
        value.number = this->*member.boolMember;
        break;
    case SettingKind::Word:
        value.number = this->*member.wordMember;
        break;
    case SettingKind::String:
        value.text = this->*member.textMember;
        break;
    }
    return value;
}

void SettingMembers::Set(int index, const StoredSettingValue& value) {
    const SettingMember& member = kSettingMembers[index];
    switch (kSettings[index].kind) {
    case SettingKind::Bool:
        this->*member.boolMember = value.number;
        break;
    case SettingKind::Word:
        this->*member.wordMember = static_cast<std::uint16_t>(value.number);
        break;
    case SettingKind::String:
        this->*member.textMember = value.text;
        break;
    }
}

SettingMembers::Values SettingMembers::All() const {
    Values values;
    for (int i = 0; i < kSettingCount; ++i) {
        values[i] = Get(i);
    }
    return values;
}

std::int32_t* SettingMembers::Switch(int index) {
    const SettingMember& member = kSettingMembers[index];
    return member.boolMember != nullptr ? &(this->*member.boolMember) : nullptr;
}

StoredSettingValue DefaultValue(const SettingDef& setting) {
    if (setting.kind == SettingKind::String) {
        return {}; // strings default to empty
    }
    return {setting.defaultValue, {}};
}

} // namespace quelvant::core
