// Blocking, shortcut and auto-start rules of the main dialog that need no window.
#include "AutoStartRules.h"
#include "BlockingRules.h"
#include "ShortcutRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(MouseFilterWord, EachBoxSetsItsOwnBitAndNoOther) {
    // Arguments in the order left, right, middle, movements, wheel.
    const std::uint16_t bits[] = {0x01, 0x02, 0x04, 0x08, 0x10};
    for (unsigned mask = 0; mask < 32; ++mask) {
        std::int32_t boxes[5];
        std::uint16_t expected = 0;
        for (int i = 0; i < 5; ++i) {
            // Any non-zero value counts as ticked, not only 1.
            boxes[i] = (mask >> i) & 1 ? (i % 2 == 0 ? 1 : -3) : 0;
            if (boxes[i] != 0) {
                expected |= bits[i];
            }
        }
        EXPECT_EQ(ComposeMouseFilter(boxes[0], boxes[1], boxes[2], boxes[3], boxes[4]), expected)
            << mask;
    }
    EXPECT_EQ(ComposeMouseFilter(1, 0, 1, 0, 0), 0x05); // left and middle
    EXPECT_EQ(ComposeMouseFilter(0, 1, 0, 0, 1), 0x12); // right and wheel
}

TEST(MouseOutcome, TextAndStateForEveryWordAndResult) {
    struct Case {
        std::uint16_t filter;
        int result;
        const wchar_t* text;
        std::int32_t state;
    };
    const Case cases[] = {
        {0x01, 1, L"Mouse Buttons Disabled", 1},       {0x20, 1, L"Mouse Buttons Disabled", 1},
        {0x1F, 0, L"Error Disablig Mouse Buttons", 3}, {0, 1, L"Mouse Buttons Enabled", 2},
        {0, 0, L"Error Enabling Mouse Buttons", 3},    {0x08, -1, L"Mouse Buttons Disabled", 1},
    };
    for (const Case& c : cases) {
        const MouseOutcome outcome = PickMouseOutcome(c.filter, c.result);
        EXPECT_STREQ(outcome.text, c.text) << c.filter << " " << c.result;
        EXPECT_EQ(outcome.blockState, c.state) << c.filter << " " << c.result;
    }
}

TEST(MouseOutcome, HotKeyReleasesFromInForceAndErrorAppliesOtherwise) {
    EXPECT_FALSE(HotKeyReleasesMouse(kBlockNothingApplied));
    EXPECT_TRUE(HotKeyReleasesMouse(kBlockInForce));
    EXPECT_FALSE(HotKeyReleasesMouse(kBlockReleased));
    EXPECT_TRUE(HotKeyReleasesMouse(kBlockError));
}

TEST(ErrorText, MouseErrorMessageUsesBareLowerCaseHex) {
    EXPECT_EQ(FormatMouseErrorMessage(0x5, L"Access is denied."),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error 5\n\nAccess is "
              L"denied.");
    EXPECT_EQ(FormatMouseErrorMessage(0x80070005u, L""),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error 80070005\n\n");
    EXPECT_EQ(FormatMouseErrorMessage(0, L"x"),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error 0\n\nx");
    EXPECT_EQ(FormatMouseErrorMessage(0xABCDEFu, L"y"),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error abcdef\n\ny");
}

TEST(ErrorText, SystemMessageLosesOnlyItsClosingLineBreak) {
    EXPECT_EQ(TrimSystemMessage(L"Access is denied.\r\n"), L"Access is denied.");
    EXPECT_EQ(TrimSystemMessage(L"Line\n"), L"Line");
    EXPECT_EQ(TrimSystemMessage(L"Two\r\n\r\n"), L"Two\r\n");
    EXPECT_EQ(TrimSystemMessage(L"\n"), L"\n"); // shorter than two characters: kept
    EXPECT_EQ(TrimSystemMessage(L"\r\n"), L"");
    EXPECT_EQ(TrimSystemMessage(L"No break"), L"No break");
    EXPECT_EQ(TrimSystemMessage(L""), L"");
}

TEST(ErrorText, FallbackNamesDispatchErrorsAndOtherCodes) {
    EXPECT_EQ(FallbackErrorText(0x80040201u), L"IDispatch error #1");
    EXPECT_EQ(FallbackErrorText(0x8004FFFFu), L"IDispatch error #65023");
    EXPECT_EQ(FallbackErrorText(0x80040200u), L"Unknown error 0x80040200");
    EXPECT_EQ(FallbackErrorText(0x80050000u), L"Unknown error 0x80050000");
    EXPECT_EQ(FallbackErrorText(0x1234ABCDu), L"Unknown error 0x1234ABCD");
    EXPECT_EQ(FallbackErrorText(0), L"Unknown error 0x0");
}

TEST(HotKeyModifiers, ControlBitsBecomeHotKeyModifiers) {
    struct Case {
        std::uint16_t in;
        unsigned out;
    };
    // The extended-key bit 0x08 never becomes the Windows key (0x8).
    const Case cases[] = {{0x00, 0x0}, {0x01, 0x4},   {0x02, 0x2},   {0x04, 0x1},
                          {0x08, 0x0}, {0x03, 0x6},   {0x0A, 0x2},   {0x0F, 0x7},
                          {0xF0, 0x0}, {0xFF00, 0x0}, {0xFF05, 0x5}, {0x4000, 0x0}};
    for (const Case& c : cases) {
        EXPECT_EQ(HotKeyFlagsToModifiers(c.in), c.out) << std::hex << c.in;
    }
}

TEST(ShortcutCaptions, FollowTheNameAndTheCloseKey) {
    EXPECT_EQ(DisableEnableShortcutCaption(L""), L"Disable / Enable Shortcut");
    EXPECT_EQ(DisableEnableShortcutCaption(L"Ctrl + Q"), L"Ctrl + Q to Disable / Enable");
    EXPECT_EQ(CloseShortcutCaption(L"F6"), L"F6 to Close");
    EXPECT_EQ(CloseShortcutCaption(L""), L" to Close");
    EXPECT_EQ(CloseShortcutAnnouncement(L"F7 to Close", L"Quelvant"), L"F7 to Close Quelvant");
    EXPECT_EQ(CloseShortcutAnnouncement(L" to Close", L"Quelvant"), L" to Close Quelvant");
    ASSERT_EQ(std::size(kCloseKeys), 7u);
    for (unsigned i = 0; i < 7; ++i) {
        EXPECT_EQ(kCloseKeys[i].virtualKey, 0x75 + i);
        EXPECT_EQ(std::wstring(kCloseKeys[i].name), L"F" + std::to_wstring(6 + i));
    }
}

std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text, bool withNul) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (withNul) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

TEST(RunEntry, ComposedQuotedWithTheSilentWord) {
    EXPECT_EQ(ComposeRunEntry(L"C:\\Program Files\\Q\\Quelvant.exe"),
              L"\"C:\\Program Files\\Q\\Quelvant.exe\" :silent");
}

TEST(RunEntry, DecodeAcceptsOnlyWellFormedStrings) {
    const auto good = Utf16Bytes(L"C:\\q.exe :silent", true);
    EXPECT_EQ(DecodeRunValue(1, good.data(), good.size()), std::wstring(L"C:\\q.exe :silent"));
    EXPECT_EQ(DecodeRunValue(2, good.data(), good.size()), std::wstring(L"C:\\q.exe :silent"));
    EXPECT_FALSE(DecodeRunValue(4, good.data(), good.size()));     // REG_DWORD
    EXPECT_FALSE(DecodeRunValue(3, good.data(), good.size()));     // REG_BINARY
    EXPECT_FALSE(DecodeRunValue(7, good.data(), good.size()));     // REG_MULTI_SZ
    EXPECT_FALSE(DecodeRunValue(1, good.data(), good.size() - 1)); // odd size
    const auto noNul = Utf16Bytes(L"C:\\q.exe", false);
    EXPECT_FALSE(DecodeRunValue(1, noNul.data(), noNul.size()));
    EXPECT_EQ(DecodeRunValue(1, nullptr, 0), std::wstring());
    // An inner NUL ends the text.
    const auto inner = Utf16Bytes(std::wstring(L"C:\\a\0junk", 9), true);
    EXPECT_EQ(DecodeRunValue(1, inner.data(), inner.size()), std::wstring(L"C:\\a"));
    // Far longer than the longest path fits the read-back; beyond its capacity nothing does.
    EXPECT_GT(kRunValueCapacity, 32767u + 2 + 8);
    const auto fits = Utf16Bytes(std::wstring(kRunValueCapacity - 1, L'x'), true);
    EXPECT_TRUE(DecodeRunValue(1, fits.data(), fits.size()));
    const auto tooLong = Utf16Bytes(std::wstring(kRunValueCapacity, L'x'), true);
    EXPECT_FALSE(DecodeRunValue(1, tooLong.data(), tooLong.size()));
    // Characters above 0xFF survive the byte order.
    const auto wide = Utf16Bytes(L"C:\\\u00e9\u4e2d.exe", true);
    EXPECT_EQ(DecodeRunValue(1, wide.data(), wide.size()), std::wstring(L"C:\\\u00e9\u4e2d.exe"));
}

TEST(RunEntry, SilentWordRemovedEverywhereCaseSensitively) {
    struct Case {
        const wchar_t* in;
        const wchar_t* stripped;
        const wchar_t* lookup;
    };
    const Case cases[] = {
        {L"C:\\q.exe :silent", L"C:\\q.exe ", L"C:\\q.exe"},
        {L"C:\\q.exe", L"C:\\q.exe", L"C:\\q.exe"},
        {L":silentC:\\q.exe:silent :silent", L"C:\\q.exe ", L"C:\\q.exe"},
        {L"C:\\q.exe :SILENT", L"C:\\q.exe :SILENT", L"C:\\q.exe :SILENT"},
        // Quoted as a whole, as the program writes it: the quotes come off.
        {L"\"C:\\a b\\q.exe\" :silent", L"\"C:\\a b\\q.exe\" ", L"C:\\a b\\q.exe"},
        {L"\"C:\\q.exe\"", L"\"C:\\q.exe\"", L"C:\\q.exe"},
        {L"\"C:\\q.exe :silent", L"\"C:\\q.exe ", L"\"C:\\q.exe"},
        {L"\"C:\\q.exe\" /x", L"\"C:\\q.exe\" /x", L"\"C:\\q.exe\" /x"},
        {L"\"", L"\"", L"\""},
        {L"::silentsilent", L":silent", L":silent"}, // one pass, left to right
        {L"", L"", L""},
        {L"C:\\q.exe   ", L"C:\\q.exe   ", L"C:\\q.exe"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StripSilentWord(c.in), c.stripped);
        EXPECT_EQ(RunEntryLookupPath(c.in), c.lookup);
    }
}

} // namespace
