#include "EnglishTexts.h"
#include "TextFormat.h"

#include <gtest/gtest.h>

#include <set>

using namespace quelvant::core;
using quelvant::test::English;
using quelvant::test::EnglishTexts;

TEST(Texts, PlaceholdersAreFilledByNumberAndNothingElseIsTouched) {
    struct Case {
        const wchar_t* pattern;
        std::initializer_list<std::wstring_view> args;
        const wchar_t* expected;
    } const cases[] = {
        {L"%1 to Close", {L"F6"}, L"F6 to Close"},
        {L"%2 vor %1", {L"a", L"b"}, L"b vor a"},
        {L"%1%1", {L"x"}, L"xx"},
        {L"100%% %1", {L"y"}, L"100% y"},
        {L"%1 and %2", {L"only"}, L"only and %2"},
        {L"%1", {}, L"%1"},
        {L"%0 %a % %", {L"z"}, L"%0 %a % %"},
        {L"ends in %", {L"z"}, L"ends in %"},
        // An argument is never read again: a system message may hold placeholders itself.
        {L"%1: %2", {L"%2", L"%1"}, L"%2: %1"},
        {L"%9", {L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"nine"}, L"nine"},
        {L"%10", {L"one"}, L"one0"},
        {L"", {L"a"}, L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FillText(c.pattern, c.args), c.expected) << std::wstring(c.pattern);
    }
}

TEST(Texts, AccessKeyMarksLeaveANameWhole) {
    struct Case {
        const wchar_t* text;
        const wchar_t* name;
    } const cases[] = {
        {L"Disable &Left Button Click", L"Disable Left Button Click"},
        {L"Disable Mouse Mo&vements", L"Disable Mouse Movements"},
        {L"No mark", L"No mark"},
        {L"\u5de6\u30af\u30ea\u30c3\u30af(&L)", L"\u5de6\u30af\u30ea\u30c3\u30af"},
        {L"(&L) first", L" first"},
        {L"Tom && Jerry", L"Tom & Jerry"},
        {L"(&&)", L"(&)"},
        {L"ends in &", L"ends in "},
        {L"(&L", L"(L"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WithoutAccessKey(c.text), c.name) << std::wstring(c.text);
    }
}

// Every text the program asks for has an English text, and English has no text the program
// never asks for (beyond the two the framework reads).
TEST(Texts, EveryIdHasItsEnglishTextAndNoMore) {
    std::set<std::string> asked = {"IDS_ABOUTBOX", "0xE000"};
#define QUELVANT_TEXT_CHECK(name, id)                                                              \
    EXPECT_FALSE(English(TextId::name).empty()) << #id;                                            \
    asked.insert(#id);
    QUELVANT_TEXTS(QUELVANT_TEXT_CHECK)
#undef QUELVANT_TEXT_CHECK
    for (const auto& [name, text] : EnglishTexts::Table()) {
        EXPECT_TRUE(asked.contains(name)) << name << " is in en-US.rc but no text asks for it";
    }
    EXPECT_EQ(English(TextId::LanguageTag), L"en-US");
    EXPECT_EQ(English(TextId::LockUsage).substr(0, 36), L"Usage:\n  Quelvant.exe /lock SECONDS\t");
}
