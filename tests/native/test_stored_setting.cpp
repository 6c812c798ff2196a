// Raw stored values read back into settings, as the profile functions take them.
#include "SettingsPolicy.h"
#include "StoredSettingValue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

using namespace quelvant::core;

namespace {

std::vector<std::uint8_t> Dword(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::vector<std::uint8_t> Utf16(const std::wstring& text) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    return bytes;
}

const SettingDef& Def(SettingIndex i) {
    return kSettings[i];
}

TEST(StoredNumber, OnlyAFourByteDword) {
    const auto four = Dword(0x12345678u);
    EXPECT_EQ(DecodeStoredNumber(4, four.data(), four.size()), 0x12345678u);
    EXPECT_FALSE(DecodeStoredNumber(5, four.data(), four.size()));  // REG_DWORD_BIG_ENDIAN
    EXPECT_FALSE(DecodeStoredNumber(3, four.data(), four.size()));  // REG_BINARY
    EXPECT_FALSE(DecodeStoredNumber(1, four.data(), four.size()));  // REG_SZ
    EXPECT_FALSE(DecodeStoredNumber(11, four.data(), four.size())); // REG_QWORD
    EXPECT_FALSE(DecodeStoredNumber(4, four.data(), 3));
    EXPECT_FALSE(DecodeStoredNumber(4, four.data(), 0));
    EXPECT_FALSE(DecodeStoredNumber(4, nullptr, 4));
    const std::vector<std::uint8_t> eight(8, 0x01);
    EXPECT_FALSE(DecodeStoredNumber(4, eight.data(), eight.size()));
}

TEST(StoredText, WholeUnitsUpToTheFirstNul) {
    auto bytes = Utf16(std::wstring(L"Ctrl + F9\0junk", 14));
    EXPECT_EQ(DecodeStoredText(1, bytes.data(), bytes.size()), std::wstring(L"Ctrl + F9"));
    bytes = Utf16(L"abc");
    EXPECT_EQ(DecodeStoredText(1, bytes.data(), bytes.size()), std::wstring(L"abc"));
    // An odd last byte is dropped, not read as half a character.
    bytes.push_back(0x41);
    EXPECT_EQ(DecodeStoredText(1, bytes.data(), bytes.size()), std::wstring(L"abc"));
    EXPECT_EQ(DecodeStoredText(1, bytes.data(), 1), std::wstring());
    EXPECT_EQ(DecodeStoredText(1, nullptr, 0), std::wstring());
    // Only REG_SZ counts; an expandable or multi-string value does not.
    EXPECT_FALSE(DecodeStoredText(2, bytes.data(), bytes.size()));
    EXPECT_FALSE(DecodeStoredText(7, bytes.data(), bytes.size()));
    EXPECT_FALSE(DecodeStoredText(4, bytes.data(), 4));
    const auto wide = Utf16(L"\u00e9\u4e2d");
    EXPECT_EQ(DecodeStoredText(1, wide.data(), wide.size()), std::wstring(L"\u00e9\u4e2d"));
    // A long text is read whole.
    const std::wstring big(40000, L'x');
    const auto longBytes = Utf16(big);
    EXPECT_EQ(DecodeStoredText(1, longBytes.data(), longBytes.size()), big);
}

TEST(StoredSetting, BoolsAreTakenOverOrFallBackToTheirDefault) {
    const auto seven = Dword(7);
    EXPECT_EQ(DecodeStoredSetting(Def(kAllowInjected), 4, seven.data(), 4).number, 7);
    const auto all = Dword(0xFFFFFFFFu);
    EXPECT_EQ(DecodeStoredSetting(Def(kAllowInjected), 4, all.data(), 4).number, -1);
    const auto zero = Dword(0);
    EXPECT_EQ(DecodeStoredSetting(Def(kAllowInjected), 4, zero.data(), 4).number, 0);
    // Wrong type or size: the default, 1 for two settings and 0 for the rest.
    EXPECT_EQ(DecodeStoredSetting(Def(kAllowInjected), 1, zero.data(), 4).number, 1);
    EXPECT_EQ(DecodeStoredSetting(Def(kAudibleAlerts), 4, zero.data(), 2).number, 1);
    EXPECT_EQ(DecodeStoredSetting(Def(kCheckDisableLeftClick), 3, all.data(), 4).number, 0);
    EXPECT_EQ(DecodeStoredSetting(Def(kCheckDisableLeftClick), 4, nullptr, 0).number, 0);
    EXPECT_EQ(DecodeStoredSetting(Def(kAllowInjected), 4, zero.data(), 4).text, L"");
}

TEST(StoredSetting, WordsKeepTheLowSixteenBits) {
    const auto big = Dword(0xABCD1234u);
    EXPECT_EQ(DecodeStoredSetting(Def(kKey2), 4, big.data(), 4).number, 0x1234);
    EXPECT_EQ(DecodeStoredSetting(Def(kMod2), 4, big.data(), 4).number, 0x1234);
    const auto high = Dword(0xFFFFu);
    EXPECT_EQ(DecodeStoredSetting(Def(kKey2), 4, high.data(), 4).number, 0xFFFF);
    EXPECT_EQ(DecodeStoredSetting(Def(kKey2), 11, big.data(), 4).number, 0);
}

TEST(StoredSetting, TheShortcutNameIsATextOrEmpty) {
    const auto name = Utf16(std::wstring(L"Alt + Q\0", 8));
    const auto got = DecodeStoredSetting(Def(kKeyboardShortcutName2), 1, name.data(), name.size());
    EXPECT_EQ(got.text, L"Alt + Q");
    EXPECT_EQ(got.number, 0);
    const auto number = Dword(5);
    EXPECT_EQ(DecodeStoredSetting(Def(kKeyboardShortcutName2), 4, number.data(), 4).text, L"");
}

// Damaged values as they are found in the registry, each with what the program takes from it.
// The program loads its settings through this decoder, so these rows stand for a start on
// such a store; the end-to-end tests keep the rows that depend on how the registry hands
// the bytes over (sizes beyond four, no NUL, odd sizes, a huge text).
TEST(StoredSetting, DamagedValuesReadAsTheProgramTakesThem) {
    struct Row {
        const char* id;
        SettingIndex setting;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        std::int32_t number;
        std::wstring text;
    };
    const std::uint32_t sz = 1, expandSz = 2, binary = 3, dword = 4, multiSz = 7, qword = 11;
    const Row rows[] = {
        {"bool-as-binary", kCheckDisableLeftClick, binary, Dword(1), 0, L""},
        {"bool-as-qword", kAllowInjected, qword, std::vector<std::uint8_t>(8, 0), 1, L""},
        {"bool-short-dword", kAudibleAlerts, dword, {0, 0}, 1, L""},
        {"bool-empty-dword", kAutoMinimize, dword, {}, 0, L""},
        {"bool-empty-string", kDisableKeyboardKeys, sz, {}, 0, L""},
        {"bool-multi-string", kCheckDisableMouseWheel, multiSz, Utf16(std::wstring(L"1\0\0", 3)), 0,
         L""},
        {"bool-huge-value", kCheckDisableMiddleClick, dword, Dword(0xFFFFFFFFu), -1, L""},
        {"bool-string-of-one", kCheckDisableLeftClick, sz, Utf16(std::wstring(L"1\0", 2)), 0, L""},
        {"allow-string-of-zero", kAllowInjected, sz, Utf16(std::wstring(L"0\0", 2)), 1, L""},
        {"alerts-binary", kAudibleAlerts, binary, Dword(0), 1, L""},
        {"word-as-string", kKey2, sz, Utf16(std::wstring(L"81\0", 3)), 0, L""},
        {"word-as-binary", kMod2, binary, {2}, 0, L""},
        {"name-as-dword", kKeyboardShortcutName2, dword, Dword(5), 0, L""},
        {"name-as-binary", kKeyboardShortcutName2, binary, {0x41, 0, 0x42}, 0, L""},
        {"name-empty", kKeyboardShortcutName2, sz, {}, 0, L""},
        {"name-expand", kKeyboardShortcutName2, expandSz, Utf16(std::wstring(L"%TEMP%\0", 7)), 0,
         L""},
    };
    for (const Row& row : rows) {
        const StoredSettingValue value =
            DecodeStoredSetting(Def(row.setting), row.type, row.data.data(), row.data.size());
        EXPECT_EQ(value.number, row.number) << row.id;
        EXPECT_EQ(value.text, row.text) << row.id;
    }
}

// An administrator's values over the user's settings: machine over user value by value, wrong
// types and out-of-range values not configured, and the rules between settings. Each row lists
// the machine key's and the user policy key's values and every setting that ends up locked.
TEST(SettingsPolicy, MachineOverUserWithTheRulesBetweenSettings) {
    using Values = std::vector<std::pair<SettingIndex, RawPolicyValue>>;
    const auto n = [](std::uint32_t v) { return RawPolicyValue{4, Dword(v)}; };
    const auto t = [](const std::wstring& text) { return RawPolicyValue{1, Utf16(text + L'\0')}; };
    const std::wstring most(kPolicyTextMax, L'n');
    struct Row {
        const char* id;
        Values machine, user;
        std::vector<std::pair<SettingIndex, StoredSettingValue>> locked;
    };
    // clang-format off
    const Row rows[] = {
        {"machine-wins", {{kCheckDisableLeftClick, n(1)}, {kAllowInjected, n(0)}},
         {{kCheckDisableLeftClick, n(0)}, {kAudibleAlerts, n(0)}},
         {{kCheckDisableLeftClick, {1, {}}}, {kAllowInjected, {}}, {kAudibleAlerts, {}}}},
        {"machine-not-configured-user-speaks",
         {{kCheckDisableLeftClick, t(L"1")}, {kCheckDisableRightClick, n(2)},
          {kCheckDisableMouseWheel, {11, std::vector<std::uint8_t>(8, 1)}}},
         {{kCheckDisableLeftClick, n(0)}}, {{kCheckDisableLeftClick, {}}}},
        {"out-of-range-and-wrong-types",
         {{kAutoMinimize, n(0xFFFFFFFFu)}, {kKey2, n(0xFF)}, {kMod2, n(0x10)},
          {kKeyboardShortcutName2, t(most + L"n")}, {kAudibleAlerts, {4, {1, 0}}}},
         {{kKeyboardShortcutName2, {2, t(L"Q").data}}, {kAllowInjected, {3, Dword(1)}}}, {}},
        {"highest-of-each", {{kKey2, n(0xFE)}, {kMod2, n(0x0F)}, {kKeyboardShortcutName2, t(most)}},
         {}, {{kKey2, {0xFE, {}}}, {kMod2, {0x0F, {}}}, {kKeyboardShortcutName2, {0, most}},
              {kDisableKeyboardKeys, {}}}},
        {"keyboard-blocking-wins-over-both-shortcuts",
         {{kCloseWithKeyboardShortcut, n(1)}, {kKey2, n(0x51)}},
         {{kDisableKeyboardKeys, n(1)}, {kDisableEnableKeyboardShortcut, n(1)}, {kMod2, n(2)},
          {kKeyboardShortcutName2, t(L"Ctrl + Q")}},
         {{kDisableKeyboardKeys, {1, {}}}, {kCloseWithKeyboardShortcut, {}},
          {kDisableEnableKeyboardShortcut, {}}, {kKey2, {}}, {kMod2, {}},
          {kKeyboardShortcutName2, {}}}},
        {"shortcut-switched-off-has-no-key", {{kDisableEnableKeyboardShortcut, n(0)}},
         {{kKey2, n(0x51)}}, {{kDisableEnableKeyboardShortcut, {}}, {kKey2, {}}, {kMod2, {}},
                              {kKeyboardShortcutName2, {}}}},
        {"a-shortcut-holds-keyboard-blocking-off", {{kCloseWithKeyboardShortcut, n(1)}},
         {{kDisableKeyboardKeys, n(0)}},
         {{kCloseWithKeyboardShortcut, {1, {}}}, {kDisableKeyboardKeys, {}}}},
        {"keyboard-blocking-off-leaves-the-shortcuts",
         {{kDisableKeyboardKeys, n(0)}, {kDisableEnableKeyboardShortcut, n(1)}}, {},
         {{kDisableKeyboardKeys, {}}, {kDisableEnableKeyboardShortcut, {1, {}}}}},
    };
    // clang-format on
    for (const Row& row : rows) {
        PolicyKeyValues machine, user;
        SettingsPolicy expected;
        for (const auto& [index, raw] : row.machine) {
            machine[index] = raw;
        }
        for (const auto& [index, raw] : row.user) {
            user[index] = raw;
        }
        for (const auto& [index, value] : row.locked) {
            expected.locked[index] = value;
        }
        const SettingsPolicy merged = MergePolicy(machine, user);
        for (int i = 0; i < kSettingCount; ++i) {
            EXPECT_EQ(merged.locked[i], expected.locked[i]) << row.id << " " << i;
        }
    }
    // Every row of the table, however many, is locked by a value of its own type and no other.
    for (int i = 0; i < kSettingCount; ++i) {
        const bool text = kSettings[i].kind == SettingKind::String;
        const RawPolicyValue own = text ? t(L"x") : n(1), other = text ? n(1) : t(L"1");
        EXPECT_TRUE(DecodePolicyValue(kSettings[i], own.type, own.data.data(), own.data.size()));
        EXPECT_FALSE(
            DecodePolicyValue(kSettings[i], other.type, other.data.data(), other.data.size()))
            << i;
    }
}

} // namespace
