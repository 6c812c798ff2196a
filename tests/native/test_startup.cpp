// The start-up decision and the stored-settings table.
#include "LockCommand.h"
#include "LockHandOver.h"
#include "EnglishTexts.h"
#include "LockTexts.h"
#include "SettingsTable.h"
#include "StartupDecision.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <ostream>
#include <set>
#include <string>

using namespace quelvant::core;

namespace {

quelvant::test::EnglishTexts english;

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
                      StartupCase{false, L"x<ReSeT>y", StartupAction::ResetSettings},
                      // The Run entry's silent word does not stop a reset.
                      StartupCase{false, L":silent <Reset>", StartupAction::ResetSettings},
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

TEST(SettingsTable, DistinctNamesInStoreOrderWithTheirDefaults) {
    std::set<std::wstring> names;
    for (const SettingDef& s : kSettings) {
        EXPECT_TRUE(names.insert(s.name).second) << "duplicate value name";
    }
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

// The lock's words on the command line: strict, and a line without a switch keeps its meaning.
TEST(LockCommandLine, ParsesStrictly) {
    using K = LockCommandKind;
    struct Case {
        const wchar_t* line;
        LockCommand expected;
    };
    const Case cases[] = {
        {L"", {}},
        {L"<RESET>", {}},
        {L":silent", {}},
        {L"lock 5", {}},
        {L"/lock 5", {K::Lock, 5}},
        {L"  /LOCK\t3600  ", {K::Lock, 3600}},
        {L"/Lock 0060", {K::Lock, 60}},
        {L"/unlock", {K::Unlock, 0}},
        {L"/UNLOCK ", {K::Unlock, 0}},
        {L"/lock 4", {K::Bad, 0}},
        {L"/lock 3601", {K::Bad, 0}},
        {L"/lock 0", {K::Bad, 0}},
        {L"/lock +5", {K::Bad, 0}},
        {L"/lock -5", {K::Bad, 0}},
        {L"/lock 5s", {K::Bad, 0}},
        {L"/lock 5.0", {K::Bad, 0}},
        {L"/lock 99999999999999999999999", {K::Bad, 0}},
        {L"/lock 4294967301", {K::Bad, 0}}, // wraps to 5 in 32 bits
        {L"/lock", {K::Bad, 0}},
        {L"/lock 5 5", {K::Bad, 0}},
        {L"/lock 5 <RESET>", {K::Bad, 0}},
        {L"<RESET> /unlock", {K::Bad, 0}},
        {L"/unlock 5", {K::Bad, 0}},
        {L"/unlock now", {K::Bad, 0}},
        {L"/lokc 5", {K::Bad, 0}},
        {L"/lokc 60", {K::Bad, 0}},
        {L"/", {K::Bad, 0}},
        {L"\"/lock\" 5", {K::Bad, 0}},
        {L"/lock\u00A05", {K::Bad, 0}},
        {L"/lock \uFF15", {K::Bad, 0}}, // a full-width digit
    };
    for (const Case& c : cases) {
        const LockCommand got = ParseLockCommand(c.line);
        EXPECT_EQ(got.kind, c.expected.kind)
            << std::wstring(c.line).size() << " chars, case " << (&c - cases);
        EXPECT_EQ(got.seconds, c.expected.seconds) << "case " << (&c - cases);
    }
}

TEST(LockCommandLine, CountdownInMinutesAndSecondsRoundedUp) {
    EXPECT_EQ(LockCountdownText(english, 42000),
              L"Locked for cleaning: 0:42 left. Ctrl+Alt+Shift+Q ends it now.");
    EXPECT_EQ(LockCountdownText(english, 41001), LockCountdownText(english, 42000));
    EXPECT_EQ(LockCountdownText(english, 3600000),
              L"Locked for cleaning: 60:00 left. Ctrl+Alt+Shift+Q ends it now.");
    EXPECT_EQ(LockCountdownText(english, 65000),
              L"Locked for cleaning: 1:05 left. Ctrl+Alt+Shift+Q ends it now.");
    EXPECT_EQ(LockCountdownText(english, 0),
              L"Locked for cleaning: 0:00 left. Ctrl+Alt+Shift+Q ends it now.");
}

// The bytes another process hands over are checked again: tag, size and values.
TEST(LockCommandLine, HandOverTakesOnlyExactCommands) {
    using K = LockCommandKind;
    const LockHandOver lock = ToHandOver({K::Lock, 60});
    const LockHandOver unlock = ToHandOver({K::Unlock, 0});
    const LockHandOver wrong[] = {{1, 4}, {1, 3601}, {2, 5}, {3, 60}, {0, 0}};
    EXPECT_EQ(FromHandOver(kLockHandOverTag, &lock, sizeof lock), (LockCommand{K::Lock, 60}));
    EXPECT_EQ(FromHandOver(kLockHandOverTag, &unlock, sizeof unlock), (LockCommand{K::Unlock, 0}));
    EXPECT_EQ(FromHandOver(kLockHandOverTag + 1, &lock, sizeof lock).kind, K::Bad);
    EXPECT_EQ(FromHandOver(kLockHandOverTag, &lock, sizeof lock - 1).kind, K::Bad);
    EXPECT_EQ(FromHandOver(kLockHandOverTag, nullptr, sizeof lock).kind, K::Bad);
    for (const LockHandOver& w : wrong) {
        EXPECT_EQ(FromHandOver(kLockHandOverTag, &w, sizeof w).kind, K::Bad)
            << w.kind << " " << w.seconds;
    }
}
