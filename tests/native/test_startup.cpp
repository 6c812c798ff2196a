// The start-up decision and the stored-settings table.
#include "SettingsTable.h"
#include "StartupDecision.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <ostream>
#include <set>
#include <string>

using namespace quelvant::core;

namespace {

struct StartupCase {
    bool windowFound;
    const wchar_t* commandLine;
    StartupAction expected;
};

void PrintTo(const StartupCase& c, std::ostream* os) {
    *os << (c.windowFound ? "window, " : "no window, ") << std::wcslen(c.commandLine)
        << " characters";
}

class StartupDecisionCases : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupDecisionCases, Decides) {
    const StartupCase& c = GetParam();
    EXPECT_EQ(DecideStartup(c.windowFound, c.commandLine), c.expected)
        << "window " << c.windowFound << " command line of " << std::wcslen(c.commandLine)
        << " characters";
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartupDecisionCases,
    ::testing::Values(StartupCase{false, L"", StartupAction::RunDialog},
                      StartupCase{false, L"<RESET>", StartupAction::ResetSettings},
                      StartupCase{false, L"<reset>", StartupAction::ResetSettings},
                      StartupCase{false, L"<ReSeT>", StartupAction::ResetSettings},
                      StartupCase{false, L"abc<reset>def", StartupAction::ResetSettings},
                      StartupCase{false, L"\"C:\\x y\\z\" /q <Reset> :silent",
                                  StartupAction::ResetSettings},
                      StartupCase{false, L"RESET", StartupAction::RunDialog},
                      StartupCase{false, L"<RESET", StartupAction::RunDialog},
                      StartupCase{false, L"RESET>", StartupAction::RunDialog},
                      StartupCase{false, L"< RESET>", StartupAction::RunDialog},
                      StartupCase{false, L"<RE SET>", StartupAction::RunDialog},
                      StartupCase{false, L":silent", StartupAction::RunDialog},
                      StartupCase{false, L"<<RESET>>", StartupAction::ResetSettings},
                      // A running instance wins: a second start resets nothing.
                      StartupCase{true, L"<RESET>", StartupAction::ActivateRunningInstance},
                      StartupCase{true, L"", StartupAction::ActivateRunningInstance},
                      StartupCase{true, L":silent", StartupAction::ActivateRunningInstance}));

TEST(StartupDecision, UpperCasesOnlyAsciiLetters) {
    EXPECT_EQ(UpperCaseAscii(L"a<z>\u00e9\u017f1"), L"A<Z>\u00e9\u017f1");
}

TEST(StartupDecision, FindsTheWordInAVeryLongCommandLine) {
    std::wstring line(40000, L'x');
    EXPECT_FALSE(ContainsResetWord(line));
    line += L"<reset>";
    EXPECT_TRUE(ContainsResetWord(line));
    // A command line with embedded NULs is searched whole.
    std::wstring withNul = std::wstring(L"a\0b", 3) + L"<reset>";
    EXPECT_TRUE(ContainsResetWord(withNul));
}

TEST(SettingsTable, FifteenDistinctNamesInStoreOrderWithTheirDefaults) {
    std::set<std::wstring> names;
    for (const SettingDef& s : kSettings) {
        EXPECT_TRUE(names.insert(s.name).second) << "duplicate value name";
    }
    EXPECT_EQ(names.size(), 15u);
    EXPECT_STREQ(kSettings[0].name, L"m_bCheckDisableLeftClick");
    EXPECT_STREQ(kSettings[1].name, L"m_bCheckDisableMiddleClick");
    EXPECT_STREQ(kSettings[4].name, L"m_bCheckDisableRightClick");
    EXPECT_STREQ(kSettings[13].name, L"m_bAudibleAlerts");
    EXPECT_STREQ(kSettings[14].name, L"m_bDisableTouchpad");
    for (int i = 0; i < kSettingCount; ++i) {
        const bool defaultOn = i == kAllowInjected || i == kAudibleAlerts;
        EXPECT_EQ(kSettings[i].defaultValue, defaultOn ? 1 : 0) << i;
        EXPECT_EQ(kSettings[i].keptByReset, i == kAudibleAlerts) << i;
    }
    EXPECT_EQ(kSettings[kKey2].kind, SettingKind::Word);
    EXPECT_EQ(kSettings[kMod2].kind, SettingKind::Word);
    EXPECT_EQ(kSettings[kKeyboardShortcutName2].kind, SettingKind::String);
    EXPECT_STREQ(kSettingsSection, L"Settings");
}

TEST(SettingsTable, StoredValuesAreTakenWithoutRangeChecks) {
    EXPECT_EQ(DecodeStoredWord(0x00000041u), 0x41);
    EXPECT_EQ(DecodeStoredWord(0x00010041u), 0x41);
    EXPECT_EQ(DecodeStoredWord(0xFFFFFFFFu), 0xFFFF);
    EXPECT_EQ(DecodeStoredWord(65536u), 0);
    EXPECT_EQ(DecodeStoredBool(7u), 7);
    EXPECT_EQ(DecodeStoredBool(0xFFFFFFFFu), -1);
    EXPECT_EQ(DecodeStoredBool(0u), 0);
}

} // namespace
