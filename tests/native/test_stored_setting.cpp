// Raw stored values read back into settings, as the profile functions take them.
#include "StoredSetting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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

} // namespace
