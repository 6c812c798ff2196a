// Blocking, shortcut and auto-start rules of the main dialog that need no window, and the
// dialog's core against a recording hook library and an in-memory settings store.
#include "AutoStartControl.h"
#include "AutoStartRules.h"
#include "BlockingRules.h"
#include "DialogCore.h"
#include "EnglishTexts.h"
#include "LockTexts.h"
#include "ShortcutRules.h"
#include "TouchpadParameters.h"
#include "VoiceLanguage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace quelvant::core;
using quelvant::test::English;

namespace {

// The texts as English shows them, from the program's own string table.
quelvant::test::EnglishTexts english;

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
        EXPECT_EQ(English(outcome.text), c.text) << c.filter << " " << c.result;
        EXPECT_EQ(outcome.blockState, c.state) << c.filter << " " << c.result;
    }
}

TEST(ErrorText, MouseErrorMessageUsesBareLowerCaseHex) {
    EXPECT_EQ(FormatMouseErrorMessage(english, 0x5, L"Access is denied."),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error 5\n\nAccess is "
              L"denied.");
    EXPECT_EQ(FormatMouseErrorMessage(english, 0x80070005u, L""),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error 80070005\n\n");
    EXPECT_EQ(FormatMouseErrorMessage(english, 0, L"x"),
              L"Could not Disable Selected Mouse Functionality.\n\nLast Error 0\n\nx");
    EXPECT_EQ(FormatMouseErrorMessage(english, 0xABCDEFu, L"y"),
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
    EXPECT_EQ(FallbackErrorText(english, 0x80040201u), L"IDispatch error #1");
    EXPECT_EQ(FallbackErrorText(english, 0x8004FFFFu), L"IDispatch error #65023");
    EXPECT_EQ(FallbackErrorText(english, 0x80040200u), L"Unknown error 0x80040200");
    EXPECT_EQ(FallbackErrorText(english, 0x80050000u), L"Unknown error 0x80050000");
    EXPECT_EQ(FallbackErrorText(english, 0x1234ABCDu), L"Unknown error 0x1234ABCD");
    EXPECT_EQ(FallbackErrorText(english, 0), L"Unknown error 0x0");
}

TEST(VoiceLanguage, ATokensLanguageListFitsTheTextsLanguage) {
    const struct {
        const wchar_t* attribute;
        std::uint16_t language;
        VoiceFit fit;
    } cases[] = {
        {L"407", 0x0407, VoiceFit::Exact},
        {L"409;9", 0x0409, VoiceFit::Exact},
        {L"809;407", 0x0407, VoiceFit::Exact},  // any piece, not only the first
        {L"x407;407", 0x0407, VoiceFit::Exact}, // a piece that is no id is skipped
        {L"c07", 0x0C07, VoiceFit::Exact},      // hex in either case
        {L"9", 0x0409, VoiceFit::SameLanguage}, // the language without a region
        {L"809", 0x0409, VoiceFit::SameLanguage},
        {L"411;C07", 0x0407, VoiceFit::SameLanguage},
        {L"816", 0x0416, VoiceFit::SameLanguage},
        {L"411", 0x0407, VoiceFit::None},
        {L"40007", 0x0407, VoiceFit::None}, // too long to be a LANGID, not 0x0007
        {L"", 0x0407, VoiceFit::None},
        {L";;", 0x0409, VoiceFit::None},
        {L"407", 0x0000, VoiceFit::None}, // texts of no known language fit no voice
        {L"0", 0x0400, VoiceFit::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitOfVoice(c.attribute, c.language), c.fit)
            << std::string(c.attribute, c.attribute + std::wcslen(c.attribute)) << " for "
            << c.language;
    }
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
    EXPECT_EQ(DisableEnableShortcutCaption(english, L""), L"Disable / Enable Shortcut");
    EXPECT_EQ(DisableEnableShortcutCaption(english, L"Ctrl + Q"), L"Ctrl + Q to Disable / Enable");
    EXPECT_EQ(CloseShortcutCaption(english, L"F6"), L"F6 to Close");
    EXPECT_EQ(CloseShortcutCaption(english, L""), L" to Close");
    EXPECT_EQ(CloseShortcutAnnouncement(english, L"F7 to Close", L"Quelvant"),
              L"F7 to Close Quelvant");
    EXPECT_EQ(CloseShortcutAnnouncement(english, L" to Close", L"Quelvant"), L" to Close Quelvant");
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
        {L"C:\\q.exe:silent", L"C:\\q.exe", L"C:\\q.exe"},          // the word without its blank
        {L"C:\\q.exe:silent :silent", L"C:\\q.exe ", L"C:\\q.exe"}, // the word twice
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

// The auto-start box against the Run list; the entry's text rules are the RunEntry tables'
// above. The user's Run list as the registry keeps it: a value holds the type and bytes it was
// given (a REG_SZ write its text and NUL); a list that is missing or read-only refuses every
// change, and deleting a value that is not there changes nothing. Changes are counted.
class FakeRunList final : public RunList {
public:
    enum class Kind { Missing, ReadOnly, Writable };
    Kind kind = Kind::Writable;
    std::optional<Entry> entry;
    std::wstring program = L"C:\\Program Files\\Q\\Quelvant.exe";
    std::vector<std::wstring> files{L"C:\\Program Files\\Q\\Quelvant.exe", L"C:\\other\\O.exe",
                                    L"C:\\other place\\Other Program.exe"};
    int changes = 0;

    bool Read(Entry& out) override {
        out = entry.value_or(Entry{});
        out.found = entry.has_value();
        return kind != Kind::Missing;
    }
    void Write(const std::wstring& text) override {
        if (kind == Kind::Writable) {
            ++changes;
            entry = Entry{true, 1, Utf16Bytes(text, true)};
        }
    }
    void Delete() override {
        if (kind == Kind::Writable && entry) {
            ++changes;
            entry.reset();
        }
    }
    std::wstring ProgramPath() override { return program; }
    bool FileExists(const std::wstring& path) override {
        return std::find(files.begin(), files.end(), path) != files.end();
    }
};

RunList::Entry StoredText(std::uint32_t type, const std::wstring& text, bool nul = true) {
    return RunList::Entry{true, type, Utf16Bytes(text, nul)};
}

TEST(AutoStart, BoxTickedOnlyForAnEntryNamingAnExistingFile) {
    struct Case {
        const char* name;
        FakeRunList::Kind kind;
        std::optional<RunList::Entry> entry;
        bool ticked;
    };
    const std::wstring own = L"C:\\Program Files\\Q\\Quelvant.exe";
    const Case cases[] = {
        {"own entry as written", FakeRunList::Kind::Writable,
         StoredText(1, L"\"" + own + L"\" :silent"), true},
        {"old unquoted form", FakeRunList::Kind::Writable, StoredText(1, own + L" :silent"), true},
        {"deleted file", FakeRunList::Kind::Writable, StoredText(1, L"C:\\Gone.exe :silent"),
         false},
        {"no entry", FakeRunList::Kind::Writable, std::nullopt, false},
        {"no run list", FakeRunList::Kind::Missing, std::nullopt, false},
        // Moved here from the end-to-end read-back table: the type alone decides.
        {"REG_DWORD", FakeRunList::Kind::Writable, RunList::Entry{true, 4, {1, 0, 0, 0}}, false},
        {"REG_BINARY", FakeRunList::Kind::Writable, StoredText(3, L"C:\\other\\O.exe"), false},
        {"empty", FakeRunList::Kind::Writable, RunList::Entry{true, 1, {}}, false},
        {"REG_MULTI_SZ", FakeRunList::Kind::Writable,
         RunList::Entry{true, 7, Utf16Bytes(std::wstring(L"C:\\other\\O.exe\0", 15), true)}, false},
        {"odd size", FakeRunList::Kind::Writable, RunList::Entry{true, 1, {'C', 0, ':', 0, '\\'}},
         false},
        // Any existing file ticks it, not only the program's own, quoted or not.
        {"another existing file", FakeRunList::Kind::Writable,
         StoredText(1, L"C:\\other place\\Other Program.exe :silent"), true},
        {"another file quoted", FakeRunList::Kind::Writable,
         StoredText(1, L"\"C:\\other place\\Other Program.exe\" :silent"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRunList list;
        list.kind = c.kind;
        list.entry = c.entry;
        EXPECT_EQ(AutoStartControl(list).Enabled(), c.ticked);
        EXPECT_EQ(list.changes, 0); // reading never writes: a stale or odd entry stays
    }
    EXPECT_FALSE(AutoStartControl(NoRunList()).Enabled());
}

TEST(AutoStart, AClickWritesOrDeletesAndTheListReadBackDecidesBoxAndError) {
    constexpr const wchar_t* kEnableFailed = L"Could not Enable Auto Start at Logon.";
    constexpr const wchar_t* kDisableFailed = L"Could not Disable Auto Start at Logon.";
    const std::wstring own = L"C:\\Program Files\\Q\\Quelvant.exe";
    const std::wstring written = L"\"" + own + L"\" :silent";
    struct Case {
        const char* name;
        FakeRunList::Kind kind;
        std::optional<std::wstring> before; // a REG_SZ entry's text
        bool enable;
        std::wstring program;
        std::optional<std::wstring> after;
        bool ticked;
        const wchar_t* error;
    };
    const Case cases[] = {
        {"tick", FakeRunList::Kind::Writable, std::nullopt, true, own, written, true, nullptr},
        {"tick over an old unquoted entry", FakeRunList::Kind::Writable, own + L" :silent", true,
         own, written, true, nullptr},
        {"tick over a stale entry", FakeRunList::Kind::Writable, L"C:\\Gone.exe :silent", true, own,
         written, true, nullptr},
        {"clear", FakeRunList::Kind::Writable, written, false, own, std::nullopt, false, nullptr},
        {"clear without an entry", FakeRunList::Kind::Writable, std::nullopt, false, own,
         std::nullopt, false, nullptr},
        {"no run list", FakeRunList::Kind::Missing, std::nullopt, true, own, std::nullopt, false,
         kEnableFailed},
        {"read-only, no entry", FakeRunList::Kind::ReadOnly, std::nullopt, true, own, std::nullopt,
         false, kEnableFailed},
        {"read-only with the entry", FakeRunList::Kind::ReadOnly, written, false, own, written,
         true, kDisableFailed},
        // No path of its own, nothing is written (an empty path would name nothing).
        {"program path unknown", FakeRunList::Kind::Writable, std::nullopt, true, L"", std::nullopt,
         false, kEnableFailed},
        // Written, but what it names is not there: the box shows the list as it reads.
        {"program file gone", FakeRunList::Kind::Writable, std::nullopt, true, L"C:\\Gone.exe",
         L"\"C:\\Gone.exe\" :silent", false, kEnableFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRunList list;
        list.kind = c.kind;
        list.program = c.program;
        if (c.before) {
            list.entry = StoredText(1, *c.before);
        }
        const AutoStartControl::Outcome outcome = AutoStartControl(list).Change(c.enable);
        EXPECT_EQ(outcome.ticked, c.ticked);
        EXPECT_EQ(!outcome.error ? std::wstring(L"-") : English(*outcome.error),
                  c.error == nullptr ? std::wstring(L"-") : std::wstring(c.error));
        ASSERT_EQ(list.entry.has_value(), c.after.has_value());
        if (c.after) {
            EXPECT_EQ(list.entry->type, 1u);
            EXPECT_EQ(list.entry->data, Utf16Bytes(*c.after, true));
        }
    }
    // A tick writes a clean entry over an odd one, whatever its type.
    for (const RunList::Entry& odd :
         {RunList::Entry{true, 4, {1, 0, 0, 0}}, RunList::Entry{true, 1, {}},
          RunList::Entry{true, 1, {'C', 0, ':', 0, '\\'}}, StoredText(7, L"C:\\other\\O.exe")}) {
        SCOPED_TRACE(odd.type);
        FakeRunList list;
        list.entry = odd;
        const AutoStartControl::Outcome outcome = AutoStartControl(list).Change(true);
        EXPECT_TRUE(outcome.ticked);
        EXPECT_FALSE(outcome.error);
        ASSERT_TRUE(list.entry.has_value());
        EXPECT_EQ(list.entry->type, 1u);
        EXPECT_EQ(list.entry->data, Utf16Bytes(written, true));
    }
}

// The hook library's calls as "M<word>/<allow>" and "K<disable>/<allow>", a lock as
// "L<seconds>" (an unlock "L0"), the chord's act as "C<release>", a failed one with "!". The
// touchpad's switch goes to the touchpad attached, if any.
class FakeHooks final : public HookPort {
public:
    BlockResult Block(std::uint16_t filter, KeysChoice keys, bool allowInjected) override {
        const bool fail = filter != 0 ? failMouseNonZero : failMouseZero;
        const std::string allow = allowInjected ? "1" : "0";
        // Appended, not prefixed: GCC 12 warns wrongly of an overlap in "M" + string (-Wrestrict).
        std::string call = "M";
        calls.push_back(call.append(Hex(filter)).append("/").append(allow).append(fail ? "!" : ""));
        BlockResult result;
        result.mouse = {!fail, fail ? mouseError : 0};
        if (fail || keys == KeysChoice::Unchanged) {
            result.keys.done = !fail;
            return result;
        }
        const bool block = keys == KeysChoice::Block;
        result.keys = Keyboard(std::string("K") + (block ? "1" : "0") + "/" + allow, block);
        return result;
    }
    HookResult Lock(std::uint32_t seconds) override {
        std::string call = "L";
        return Keyboard(call.append(std::to_string(seconds)), true);
    }
    HookResult Unlock() override { return Keyboard("L0", true); }
    HookResult ChordAct(bool release) override { return Keyboard(release ? "C1" : "C0", true); }
    HookResult HoldTouchpad(bool hold) override {
        return touchpad ? touchpad(hold) : HookResult{false, kTouchpadCallUnsupported};
    }
    // Every keyboard word but "keys passed" fails when failKeyboardOn.
    HookResult Keyboard(const std::string& call, bool nonZeroWord) {
        const bool fail = failKeyboardOn && nonZeroWord;
        calls.push_back(call + (fail ? "!" : ""));
        return {!fail, 0};
    }
    static std::string Hex(unsigned v) {
        const char* digits = "0123456789abcdef";
        return {digits[(v >> 4) & 0xF], digits[v & 0xF]};
    }

    std::vector<std::string> calls;
    bool failMouseNonZero = false;
    bool failMouseZero = false;
    bool failKeyboardOn = false;
    std::uint32_t mouseError = 5;
    std::function<HookResult(bool hold)> touchpad;
};

class FakeStore final : public SettingsStore {
public:
    StoredSettingValue Load(const SettingDef& setting) override {
        const auto found = values.find(setting.name);
        return found != values.end() ? found->second : DecodeStoredSetting(setting, 0, nullptr, 0);
    }
    bool Save(const SettingDef& setting, const StoredSettingValue& value) override {
        ++saves;
        if (!takesWrites) {
            return false;
        }
        values[setting.name] = value;
        return true;
    }
    std::int32_t Number(SettingIndex index) { return Load(kSettings[index]).number; }

    std::map<std::wstring, StoredSettingValue> values;
    bool takesWrites = true;
    int saves = 0;
};

// The dialog without a window, over its core: a ticked flag for each check box, the status
// line a string, what is spoken and the error boxes lists.
class TestDialog final : public CoreWindow {
public:
    // A box by the row of the settings table it shows, or the auto-start box.
    using Box = int;
    static constexpr Box kAutoStartAtLogon = kSettingCount;
    static constexpr Box kBoxes[] = {
        kCheckDisableLeftClick,  kCheckDisableMiddleClick,       kCheckDisableMouseMovements,
        kCheckDisableMouseWheel, kCheckDisableRightClick,        kDisableKeyboardKeys,
        kAutoMinimize,           kCloseWithKeyboardShortcut,     kAutoStartAtLogon,
        kAllowInjected,          kDisableEnableKeyboardShortcut, kAudibleAlerts,
        kDisableTouchpad};

    TestDialog(FakeHooks& hooks, FakeStore& store) : core(*this, hooks, store) {}
    // With a touchpad that the hook library switches.
    template <std::derived_from<TouchpadReader> Touchpad>
    TestDialog(FakeHooks& hooks, FakeStore& store, Touchpad& touchpad)
        : core(*this, hooks, store, touchpad) {
        hooks.touchpad = [&touchpad](bool hold) { return touchpad.Hold(hold); };
    }
    // With a Run list.
    TestDialog(FakeHooks& hooks, FakeStore& store, RunList& runList)
        : core(*this, hooks, store, NoTouchpad(), NoPolicy(), runList) {}

    // As the dialog starts: settings loaded and shown, then brought into force.
    void Start() {
        core.LoadSettings();
        core.RefreshTouchpad();
        ShowView();
        core.CommitBlockingSettings();
    }
    void Tick(Box box) { Control(box) = !Control(box); }
    // A click on a box, handed to the core as the window does: whether the change holds.
    bool Click(Box box) {
        Tick(box);
        if (box == kDisableKeyboardKeys) {
            return core.SetKeyboardKeys(Control(box));
        }
        const std::int32_t wanted = Control(box) ? 1 : 0;
        core.SetBox(box, Control(box));
        return Value(box) == wanted;
    }
    // What the core holds for a box, a word or a text.
    std::int32_t Value(Box box) const {
        return box == kAutoStartAtLogon ? core.AutoStartTicked() : core.Values().Number(box);
    }
    const std::wstring& Text(int index) const { return core.Values().Text(index); }

    bool& Control(Box box) {
        for (std::size_t i = 0; i < std::size(kBoxes); ++i) {
            if (kBoxes[i] == box) {
                return ticked[i];
            }
        }
        ADD_FAILURE() << "no such box";
        return ticked[0];
    }

    void ShowView() override {
        for (std::size_t i = 0; i < std::size(kBoxes); ++i) {
            ticked[i] = Value(kBoxes[i]) != 0;
        }
    }
    void Announce(const std::wstring& text) override {
        status = text;
        spoken.push_back(text);
    }
    void Speak(const std::wstring& text) override { spoken.push_back(text); }
    void ShowError(const std::wstring& text) override { errors.push_back(text); }
    std::wstring SystemErrorText(std::uint32_t code) override {
        return L"text of " + std::to_wstring(code);
    }
    std::wstring Text(TextId id) override { return English(id); }

    bool ticked[std::size(kBoxes)] = {};
    std::wstring status;
    std::vector<std::wstring> spoken;
    std::vector<std::wstring> errors;
    DialogCore core;
};

using D = TestDialog;
using Calls = std::vector<std::string>;
constexpr const wchar_t* kDisabled = L"Mouse Buttons Disabled";
constexpr const wchar_t* kEnabled = L"Mouse Buttons Enabled";

void StoreNumbers(FakeStore& store, std::initializer_list<std::pair<SettingIndex, int>> values) {
    for (const auto& [index, number] : values) {
        store.values[kSettings[index].name] = StoredSettingValue{number, {}};
    }
}

TEST(DialogCore, StartAppliesTheStoredChoiceOnceMouseFirst) {
    struct Case {
        std::initializer_list<std::pair<SettingIndex, int>> stored;
        Calls calls;
        const wchar_t* status;
        std::vector<std::wstring> errors;
    };
    const Case cases[] = {
        {{}, {"M00/1", "K0/1"}, kEnabled, {}},
        {{{kCheckDisableLeftClick, 1},
          {kCheckDisableMouseWheel, 1},
          {kDisableKeyboardKeys, 1},
          {kAllowInjected, 0}},
         {"M11/0", "K1/0"},
         kDisabled,
         {}},
        {{{kCheckDisableRightClick, 1},
          {kCheckDisableMiddleClick, 1},
          {kCheckDisableMouseMovements, 1}},
         {"M0e/1", "K0/1"},
         kDisabled,
         {}},
        // Any non-zero stored value ticks its box; the store is written back with 1.
        {{{kCheckDisableMiddleClick, 7}}, {"M04/1", "K0/1"}, kDisabled, {}},
        // The keyboard hook fails at the start ("K1" fails in this fake): said once, the mouse
        // stays in force, and the boxes keep showing the stored choice.
        {{{kCheckDisableMouseWheel, 1}, {kDisableKeyboardKeys, 1}},
         {"M10/1", "K1/1!"},
         kDisabled,
         {L"Could not Disable Keyboard."}},
    };
    for (const Case& c : cases) {
        FakeHooks hooks;
        hooks.failKeyboardOn = !c.errors.empty();
        FakeStore store;
        StoreNumbers(store, c.stored);
        TestDialog dialog(hooks, store);
        dialog.Start();
        EXPECT_EQ(hooks.calls, c.calls);
        EXPECT_EQ(dialog.status, c.status);
        EXPECT_EQ(dialog.core.BlockState(), c.status == kDisabled ? kBlockInForce : kBlockReleased);
        EXPECT_EQ(dialog.errors, c.errors);
        if (!c.errors.empty()) {
            EXPECT_TRUE(dialog.Control(kCheckDisableMouseWheel));
            EXPECT_TRUE(dialog.Control(kDisableKeyboardKeys));
            EXPECT_EQ(store.Number(kDisableKeyboardKeys), 1);
        }
        // The first start stores the defaults, with "Allow Simulated" and alerts on.
        EXPECT_EQ(store.Number(kAllowInjected), c.calls[0].back() - '0');
        EXPECT_EQ(store.Number(kAudibleAlerts), 1);
        EXPECT_EQ(store.Number(kCheckDisableMiddleClick), dialog.Value(kCheckDisableMiddleClick));
        EXPECT_LE(dialog.Value(kCheckDisableMiddleClick), 1);
    }
}

TEST(DialogCore, EachClickPassesTheBoxesToTheLibraryMouseFirstAndStoresThem) {
    using Box = TestDialog::Box;
    struct Click {
        Box box;
        const char* mouse;
        const char* keyboard;
    };
    const std::vector<std::vector<Click>> sequences = {
        {{kCheckDisableLeftClick, "M01/1", "K0/1"},
         {kCheckDisableMiddleClick, "M05/1", "K0/1"},
         {kCheckDisableLeftClick, "M04/1", "K0/1"},
         {kCheckDisableMiddleClick, "M00/1", "K0/1"}},
        {{kCheckDisableRightClick, "M02/1", "K0/1"},
         {kCheckDisableMouseWheel, "M12/1", "K0/1"},
         {kAllowInjected, "M12/0", "K0/0"},
         {kDisableKeyboardKeys, "M12/0", "K1/0"},
         {kAllowInjected, "M12/1", "K1/1"},
         {kAutoMinimize, "M12/1", "K1/1"}},
        {{kCheckDisableMouseMovements, "M08/1", "K0/1"},
         {kCheckDisableLeftClick, "M09/1", "K0/1"},
         {kCheckDisableRightClick, "M0b/1", "K0/1"},
         {kCheckDisableMiddleClick, "M0f/1", "K0/1"},
         {kCheckDisableMouseWheel, "M1f/1", "K0/1"},
         {kDisableKeyboardKeys, "M1f/1", "K1/1"},
         {kDisableKeyboardKeys, "M1f/1", "K0/1"}},
    };
    for (const auto& clicks : sequences) {
        FakeHooks hooks;
        FakeStore store;
        TestDialog dialog(hooks, store);
        dialog.Start();
        for (const Click& click : clicks) {
            hooks.calls.clear();
            EXPECT_TRUE(dialog.Click(click.box));
            EXPECT_EQ(hooks.calls, (Calls{click.mouse, click.keyboard}));
            EXPECT_EQ(dialog.status,
                      std::string(click.mouse).substr(1, 2) == "00" ? kEnabled : kDisabled);
            // What was applied is what is stored and shown.
            EXPECT_EQ(store.Number(kCheckDisableLeftClick), dialog.Value(kCheckDisableLeftClick));
            EXPECT_EQ(store.Number(kCheckDisableMouseWheel), dialog.Value(kCheckDisableMouseWheel));
            EXPECT_EQ(store.Number(kAllowInjected), dialog.Value(kAllowInjected));
            EXPECT_EQ(store.Number(kDisableKeyboardKeys), dialog.Value(kDisableKeyboardKeys));
            EXPECT_EQ(dialog.Control(click.box), dialog.Value(click.box) != 0);
        }
        EXPECT_TRUE(dialog.errors.empty());
    }
}

// A change that does not hold leaves the store alone, shows the stored choice again and brings
// back into force what the boxes show. Fails: 'm' the mouse hook, 'k' the keyboard hook, 's'
// every write of the store.
TEST(DialogCore, AChangeThatFailsIsReportedAndUndone) {
    struct Case {
        char fails;
        SettingIndex storedOn;
        TestDialog::Box box;
        Calls calls;
        std::wstring error;
        std::wstring status;
    };
    const std::wstring keyboardError = L"Could not Disable Keyboard.";
    const std::wstring saveError = L"Could not Save Settings.";
    const Case cases[] = {
        {'m',
         kAutoMinimize,
         kCheckDisableLeftClick,
         {"M01/1!"},
         L"Could not Disable Selected Mouse Functionality.\n\nLast Error 7e\n\ntext of 126",
         L"Error Disablig Mouse Buttons"},
        {'k',
         kDisableKeyboardKeys,
         kCheckDisableLeftClick,
         {"M01/1", "K1/1!", "M00/1"},
         keyboardError,
         kEnabled},
        {'k',
         kDisableKeyboardKeys,
         kAllowInjected,
         {"M00/0", "K1/0!", "M00/1"},
         keyboardError,
         kEnabled},
        {'s',
         kCheckDisableMiddleClick,
         kCheckDisableLeftClick,
         {"M05/1", "K0/1", "M04/1", "K0/1"},
         saveError,
         kDisabled},
        {'s',
         kCheckDisableMiddleClick,
         kDisableKeyboardKeys,
         {"M04/1", "K1/1", "M04/1", "K0/1"},
         saveError,
         kDisabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls.back());
        FakeHooks hooks;
        hooks.mouseError = 0x7E;
        FakeStore store;
        StoreNumbers(store, {{c.storedOn, 1}});
        TestDialog dialog(hooks, store);
        dialog.Start();
        const bool before = dialog.Control(c.box);
        // Stored behind the dialog's back: only a reload from the store shows it.
        StoreNumbers(store, {{kAutoMinimize, 1}});
        const auto stored = store.values;
        hooks.calls.clear();
        hooks.failMouseNonZero = c.fails == 'm';
        hooks.failKeyboardOn = c.fails == 'k';
        store.takesWrites = c.fails != 's';

        EXPECT_FALSE(dialog.Click(c.box));
        EXPECT_EQ(hooks.calls, c.calls);
        EXPECT_EQ(dialog.errors, std::vector<std::wstring>{c.error});
        EXPECT_EQ(dialog.status, c.status);
        EXPECT_EQ(dialog.core.BlockState(), c.status == kDisabled  ? kBlockInForce
                                            : c.status == kEnabled ? kBlockReleased
                                                                   : kBlockError);
        EXPECT_EQ(dialog.Control(c.box), before);
        EXPECT_TRUE(dialog.Control(kAutoMinimize));
        EXPECT_EQ(store.values, stored);
    }
}

// The Disable / Enable shortcut releases from "in force" and "error", applies from the rest,
// and never touches the boxes or the store.
TEST(DialogCore, HotKeyTogglesBetweenTheBoxesAndAFreeMouse) {
    struct Press {
        bool failRelease;
        Calls calls;
        const wchar_t* status;
        std::int32_t state;
        int errors;
    };
    FakeHooks hooks;
    FakeStore store;
    StoreNumbers(store, {{kCheckDisableLeftClick, 1}});
    TestDialog dialog(hooks, store);
    dialog.Start();
    const auto stored = store.values;
    const int saves = store.saves;
    const Press presses[] = {
        {true, {"M00/1!"}, L"Error Enabling Mouse Buttons", kBlockError, 1},
        {true, {"M00/1!"}, L"Error Enabling Mouse Buttons", kBlockError, 2},
        {false, {"M00/1"}, kEnabled, kBlockReleased, 2},
        {false, {"M01/1", "K0/1"}, kDisabled, kBlockInForce, 2},
        {false, {"M00/1"}, kEnabled, kBlockReleased, 2},
    };
    for (const Press& press : presses) {
        hooks.calls.clear();
        hooks.failMouseZero = press.failRelease;
        dialog.core.ToggleMouseBlocking();
        EXPECT_EQ(hooks.calls, press.calls);
        EXPECT_EQ(dialog.status, press.status);
        EXPECT_EQ(dialog.core.BlockState(), press.state);
        EXPECT_EQ(dialog.errors.size(), static_cast<std::size_t>(press.errors));
        EXPECT_TRUE(dialog.Control(kCheckDisableLeftClick));
    }
    EXPECT_EQ(dialog.errors[0], L"Could not Disable Selected Mouse Functionality.\n\nLast "
                                L"Error 5\n\ntext of 5");
    EXPECT_EQ(store.values, stored);
    EXPECT_EQ(store.saves, saves);

    // Before anything was applied a press applies.
    FakeHooks fresh;
    TestDialog unapplied(fresh, store);
    unapplied.core.LoadSettings();
    unapplied.core.ToggleMouseBlocking();
    // The loaded choice, which is what the boxes show: the core holds no other copy.
    EXPECT_EQ(fresh.calls, (Calls{"M01/1", "K0/1"}));
}

TEST(DialogCore, ReleaseChordPutsTheStateAsideAndBringsItBack) {
    for (const bool failed : {false, true}) {
        FakeHooks hooks;
        hooks.failMouseNonZero = failed;
        FakeStore store;
        StoreNumbers(store, {{kCheckDisableMouseWheel, 1}});
        TestDialog dialog(hooks, store);
        dialog.Start();
        const std::int32_t before = dialog.core.BlockState();
        dialog.core.FollowReleaseChord(true);
        EXPECT_EQ(dialog.core.BlockState(), kBlockReleased);
        EXPECT_EQ(dialog.status, English(TextId::ChordReleased));
        dialog.core.FollowReleaseChord(false);
        EXPECT_EQ(dialog.core.BlockState(), before);
        EXPECT_EQ(dialog.status, English(TextId::ChordRestored));
    }
}

TEST(DialogCore, KeyboardBlockingTakesBothShortcutsOnlyOnceItHolds) {
    for (const bool fails : {false, true}) {
        FakeHooks hooks;
        FakeStore store;
        StoreNumbers(store, {{kCloseWithKeyboardShortcut, 1},
                             {kDisableEnableKeyboardShortcut, 1},
                             {kKey2, 0x4B},
                             {kMod2, 2}});
        store.values[kSettings[kKeyboardShortcutName2].name] = {0, L"Ctrl + K"};
        TestDialog dialog(hooks, store);
        dialog.Start();
        hooks.failKeyboardOn = fails;
        dialog.spoken.clear();
        EXPECT_EQ(dialog.Click(kDisableKeyboardKeys), !fails);
        EXPECT_EQ(dialog.Value(kDisableKeyboardKeys), fails ? 0 : 1);
        EXPECT_EQ(dialog.Value(kCloseWithKeyboardShortcut), fails ? 1 : 0);
        EXPECT_EQ(dialog.Control(kDisableEnableKeyboardShortcut), fails);
        EXPECT_EQ(dialog.Value(kKey2), fails ? 0x4B : 0);
        EXPECT_EQ(dialog.Value(kMod2), fails ? 2 : 0);
        EXPECT_EQ(dialog.Text(kKeyboardShortcutName2), fails ? L"Ctrl + K" : L"");
        // The way out is said once each time keys become blocked.
        const int hints = fails ? 0 : 1;
        EXPECT_EQ(std::count(dialog.spoken.begin(), dialog.spoken.end(),
                             English(TextId::KeyboardBlockedHint)),
                  hints);
        dialog.core.CommitBlockingSettings();
        EXPECT_EQ(std::count(dialog.spoken.begin(), dialog.spoken.end(),
                             English(TextId::KeyboardBlockedHint)),
                  hints);
    }
}

TEST(DialogCore, CaptureEndsSetOrClearTheShortcut) {
    struct Case {
        bool ok;
        std::uint16_t key, mod;
        std::int32_t box;
        std::uint16_t keptKey, keptMod;
        const wchar_t* name;
    };
    const Case cases[] = {
        {true, 0x4B, 0x06, 1, 0x4B, 0x06, L"Ctrl + Alt + K"},
        {true, 0, 0x02, 0, 0, 0x02, L""}, // an empty OK keeps the modifiers it gave
        {false, 0x4B, 0x06, 0, 0, 0, L""},
    };
    for (const Case& c : cases) {
        FakeHooks hooks;
        FakeStore store;
        TestDialog dialog(hooks, store);
        StoreNumbers(store, {{kKey2, 0x51}});
        dialog.core.LoadSettings();
        dialog.Tick(kDisableEnableKeyboardShortcut);
        EXPECT_TRUE(dialog.core.SetDisableEnableShortcut(true));
        dialog.core.TakeCapturedShortcut(c.ok, c.key, c.mod, L"Ctrl + Alt + K");
        EXPECT_EQ(dialog.Value(kDisableEnableKeyboardShortcut), c.box);
        EXPECT_EQ(dialog.Control(kDisableEnableKeyboardShortcut), c.box != 0);
        EXPECT_EQ(dialog.Value(kKey2), c.keptKey);
        EXPECT_EQ(dialog.Value(kMod2), c.keptMod);
        EXPECT_EQ(dialog.Text(kKeyboardShortcutName2), c.name);
        EXPECT_TRUE(hooks.calls.empty());
    }
}

TEST(DialogCore, ResetStoresTheResetValuesAndKeepsTheAlertsChoice) {
    for (const bool hasWindow : {true, false}) {
        for (const bool refuses : {false, true}) {
            SCOPED_TRACE(std::to_string(hasWindow) + std::to_string(refuses));
            FakeHooks hooks;
            FakeStore store;
            StoreNumbers(store, {{kAudibleAlerts, 1}});
            for (int i = 0; i < kSettingCount; ++i) {
                if (kSettings[i].kind != SettingKind::String && i != kAudibleAlerts) {
                    StoreNumbers(store, {{static_cast<SettingIndex>(i), 3}});
                }
            }
            FakeRunList runList;
            TestDialog dialog(hooks, store, runList);
            if (hasWindow) {
                dialog.Start();
                store.takesWrites = false; // ticked off, and not yet saved
                dialog.Click(kAudibleAlerts);
                store.takesWrites = true;
            }
            EXPECT_FALSE(dialog.core.SetAutoStart(true));
            EXPECT_EQ(dialog.Value(D::kAutoStartAtLogon), 1);
            const auto before = store.values;
            store.takesWrites = !refuses;
            EXPECT_EQ(dialog.core.ResetStoredSettings(hasWindow), !refuses);
            EXPECT_EQ(dialog.Value(D::kAutoStartAtLogon), 0);
            if (refuses) {
                // The members show the store as it stayed.
                EXPECT_EQ(store.values, before);
                EXPECT_NE(dialog.Value(kCheckDisableLeftClick), 0);
                EXPECT_EQ(dialog.Value(kCheckDisableLeftClick),
                          store.Number(kCheckDisableLeftClick));
                EXPECT_EQ(dialog.Value(kKey2), 3);
                continue;
            }
            for (int i = 0; i < kSettingCount; ++i) {
                if (i != kAudibleAlerts) {
                    EXPECT_EQ(store.Load(kSettings[i]),
                              DecodeStoredSetting(kSettings[i], 0, nullptr, 0))
                        << i;
                }
            }
            // From the window the member's choice stands; without one the stored choice.
            EXPECT_EQ(store.Number(kAudibleAlerts), hasWindow ? 0 : 1);
            EXPECT_TRUE(hooks.calls.size() == (hasWindow ? 2u : 0u));
        }
    }
}

// Without a window the stored alerts choice stays as it was, on where none was stored, and is
// written out with the reset values.
TEST(DialogCore, AResetWithoutAWindowKeepsTheStoredAlertsChoice) {
    for (const int storedAlerts : {0, 1, -1}) { // -1: none stored
        SCOPED_TRACE(storedAlerts);
        FakeHooks hooks;
        FakeStore store;
        StoreNumbers(store, {{kCheckDisableLeftClick, 1}, {kAutoMinimize, 1}});
        if (storedAlerts >= 0) {
            StoreNumbers(store, {{kAudibleAlerts, storedAlerts}});
        }
        TestDialog dialog(hooks, store);
        EXPECT_TRUE(dialog.core.ResetStoredSettings(false));
        ASSERT_EQ(store.values.count(kSettings[kAudibleAlerts].name), 1u);
        EXPECT_EQ(store.Number(kAudibleAlerts), storedAlerts != 0 ? 1 : 0);
        EXPECT_EQ(store.Number(kCheckDisableLeftClick), 0);
        EXPECT_EQ(store.Number(kAutoMinimize), 0);
        EXPECT_TRUE(hooks.calls.empty());
    }
}

// The documented layout: 44 bytes; the system's flags in the word at offset 12 and the
// user's at 16, each group from bit 0 in the documented order.
TEST(TouchpadParameters, FlagsSitAtTheirDocumentedBits) {
    const auto words = [](const TouchpadParameters& p) {
        std::uint32_t w[11];
        std::memcpy(w, &p, sizeof w);
        return std::vector<std::uint32_t>(w + 3, w + 6);
    };
    TouchpadParameters p{};
    p.touchpadPresent = p.touchpadEnabled = p.clickForceSupported = 1;
    p.allowActiveWhenMousePresent = p.scrollDirectionReversed = 1;
    p.sensitivityLevel = 0xA5;
    EXPECT_EQ(words(p),
              (std::vector<std::uint32_t>{kTouchpadPresentBit | kTouchpadEnabledBit | 1u << 6,
                                          1u | 1u << 9, 0xA5u}));
    EXPECT_EQ(kTouchpadEnabledBit, 1u << 3);
    EXPECT_EQ(p.touchpadEnabled, 1u);
    EXPECT_EQ(sizeof p, 44u);
}

// A touchpad whose switch calls are recorded as "off"/"on", a failed one with "!".
class FakeTouchpad final : public TouchpadReader {
public:
    bool Read(TouchpadReading& reading, std::uint32_t& error) override {
        error = kTouchpadCallUnsupported;
        reading = {true, enabled};
        return supported;
    }
    // Switched by the hook library: held off, or let go and on.
    HookResult Hold(bool hold) {
        const bool on = !hold;
        calls.push_back(std::string(on ? "on" : "off") + (fail ? "!" : ""));
        enabled = fail || ignore ? enabled : on;
        return {!fail, fail ? 5u : 0u};
    }
    bool supported = true, enabled = true, fail = false, ignore = false;
    Calls calls;
};

// The touchpad follows the box, the releases, exit and reset; only what the program switched
// off goes back on; a switch that fails or does not hold is told and leaves the box as it was.
// Steps: t a click on the box, k a click on the left-click box, p the shortcut, r/R the chord
// releasing/restoring (the hook library switches), f the chord releasing where the library
// could not switch (h: the user's keys stayed down, i: refused for privilege), x exit, z reset, u
// the user switches the touchpad on in Settings, a the touchpad becomes available, L a toggle not
// taken in time is taken late, U the session is unlocked. A switch that fails from the start is
// asked once, told once: in a box, or under a policy lock and after the chord in the status line
// and voice only. A toggle not taken in time keeps the touchpad ours until it reads on.
TEST(DialogCore, TouchpadSwitchesOffOnlyWhatItGivesBack) {
    struct Case {
        const char* name;
        int box, memo;
        bool enabled, supported;
        const char* steps;
        Calls calls;
        bool enabledAfter;
        int memoAfter, boxAfter;
        const wchar_t* status;
        bool fail = false, ignore = false, locked = false, fromStart = false;
    };
    const std::wstring offText = English(TextId::TouchpadDisabled),
                       onText = English(TextId::TouchpadEnabled),
                       released = English(TextId::ChordReleased),
                       restored = English(TextId::ChordRestored);
    const wchar_t *off = offText.c_str(), *on = onText.c_str(), *mouse = kEnabled;
    const wchar_t* refused = L"Error Disabling Touchpad";
    // clang-format off
    const Case cases[] = {
        {"start-ticked", 1, 0, true, true, "", {}, false, 1, 1, off},
        {"start-ticked-users-own-off", 1, 0, false, true, "", {}, false, 0, 1, mouse},
        {"start-after-a-kill", 0, 1, false, true, "", {}, true, 0, 0, on},
        {"start-after-a-kill-still-ticked", 1, 1, false, true, "", {}, false, 1, 1, mouse},
        {"start-after-a-system-restart", 1, 1, true, true, "", {}, false, 1, 1, off},
        {"tick", 0, 0, true, true, "t", {"off"}, false, 1, 1, off},
        {"clear", 1, 0, true, true, "t", {"on"}, true, 0, 0, on},
        {"clear-users-own-off", 1, 0, false, true, "t", {}, false, 0, 0, mouse},
        {"tick-fails", 0, 0, true, true, "t", {"off!"}, true, 0, 0, refused, true},
        {"tick-not-taken", 0, 0, true, true, "t", {"off"}, true, 1, 0, refused, false, true},
        {"tick-taken-late-comes-back", 0, 0, true, true, "tL", {"off", "on"}, true, 0, 0, refused, false, true},
        {"locked-taken-late-is-held", 1, 0, true, true, "L", {"off", "off"}, false, 1, 1, off, false, true, true, true},
        {"unlock-gives-back-what-is-owed", 0, 1, false, true, "U", {"on!", "on"}, true, 0, 0, on, true, false, false, true},
        {"clear-fails", 1, 0, true, true, "t", {"on!"}, false, 1, 1, L"Error Enabling Touchpad", true},
        {"shortcut-twice", 1, 0, true, true, "pp", {"on", "off"}, false, 1, 1, off},
        {"chord", 1, 0, true, true, "r", {}, true, 1, 1, released.c_str()},
        {"chord-twice", 1, 0, true, true, "rR", {}, false, 1, 1, restored.c_str()},
        {"chord-not-followed", 1, 0, true, true, "f", {}, false, 1, 1, L"Could not Enable Touchpad: Windows did not switch the touchpad when sent its toggle, Ctrl+Win+F24."},
        {"chord-keys-held-too-long", 1, 0, true, true, "h", {}, false, 1, 1, L"Could not Enable Touchpad: Ctrl, Alt, Shift or Windows was held down for over 30 seconds, so Quelvant did not send the touchpad's toggle, Ctrl+Win+F24."},
        {"chord-refused-by-privilege", 1, 0, true, true, "i", {}, false, 1, 1, L"Could not Enable Touchpad: A window of a program running as administrator is in front, so Windows did not let Quelvant send the touchpad's toggle, Ctrl+Win+F24."},
        {"chord-then-a-click", 1, 0, true, true, "rk", {"off"}, false, 1, 1, off},
        {"exit", 1, 0, true, true, "x", {"on"}, true, 0, 1, off},
        {"reset", 1, 0, true, true, "z", {"on"}, true, 0, 0, on},
        {"switched-on-in-settings", 1, 0, true, true, "ut", {"on"}, true, 0, 0, off},
        {"start-not-taken-asked-once", 1, 0, true, true, "k", {"off"}, true, 1, 1, kDisabled, false, true, false, true},
        {"locked-not-taken-told-once", 1, 0, true, true, "kkp", {"off"}, true, 1, 1, mouse, false, true, true, true},
        {"unsupported-keeps-the-choice", 1, 0, true, false, "", {}, true, 0, 1, mouse},
        {"appears-later", 1, 0, true, false, "a", {"off"}, false, 1, 1, off},
        {"locked-by-policy", 1, 0, true, true, "t", {"off"}, false, 1, 1, off, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHooks hooks;
        FakeStore store;
        FakeTouchpad pad;
        StoreNumbers(store, {{kDisableTouchpad, c.box}});
        store.values[kTouchpadSwitchedOff.name] = StoredSettingValue{c.memo, {}};
        pad.enabled = c.enabled;
        pad.supported = c.supported;
        TestDialog dialog(hooks, store, pad);
        if (c.locked) {
            SettingsPolicy policy;
            policy.locked[kDisableTouchpad] = StoredSettingValue{1, {}};
            dialog.core.SetPolicy(policy);
        }
        const auto failing = [&] { pad.fail = c.fail; pad.ignore = c.ignore; };
        if (c.fromStart) {
            failing();
        }
        dialog.Start();
        if (!c.fromStart) {
            pad.calls.clear();
            failing();
        }
        for (const char* step = c.steps; *step != '\0'; ++step) {
            switch (*step) {
            case 't': dialog.Click(kDisableTouchpad); break;
            case 'p': dialog.core.ToggleMouseBlocking(); break;
            case 'k': dialog.Click(kCheckDisableLeftClick); break;
            case 'r': case 'R': pad.enabled = *step == 'r'; dialog.core.FollowReleaseChord(*step == 'r'); break;
            case 'f': dialog.core.FollowReleaseChord(true, kTouchpadSwitchIgnored); break;
            case 'h': dialog.core.FollowReleaseChord(true, kTouchpadModifiersHeld); break;
            case 'i': dialog.core.FollowReleaseChord(true, kTouchpadBlockedByPrivilege); break;
            case 'x': dialog.core.GiveTouchpadBack(); break;
            case 'z': dialog.core.ResetStoredSettings(true); dialog.ShowView(); dialog.core.CommitBlockingSettings(); break;
            case 'u': pad.enabled = true; dialog.core.RefreshTouchpad(); break;
            case 'a': pad.supported = true; dialog.core.RefreshTouchpad(); break;
            case 'L': pad.enabled = !pad.enabled; pad.ignore = false; dialog.core.TouchpadStateChanged(); break;
            case 'U': pad.fail = false; dialog.core.SessionUnlocked(); break;
            }
        }
        EXPECT_EQ(pad.calls, c.calls);
        EXPECT_EQ(pad.enabled, c.enabledAfter);
        EXPECT_EQ(store.Load(kTouchpadSwitchedOff).number, c.memoAfter);
        EXPECT_EQ(dialog.Control(kDisableTouchpad), c.boxAfter != 0);
        EXPECT_EQ(store.Number(kDisableTouchpad), c.boxAfter);
        EXPECT_EQ(dialog.status, c.status);
        const bool chordFailed = std::strpbrk(c.steps, "fhi") != nullptr;
        const bool told = c.fail || c.ignore || chordFailed;
        const bool boxless = c.locked || chordFailed;
        EXPECT_EQ(dialog.errors.size(), told && !boxless ? 1u : 0u);
        EXPECT_EQ(std::count_if(dialog.spoken.begin(), dialog.spoken.end(),
                                [](const std::wstring& text) { return text.starts_with(L"Could not"); }),
                  told && boxless ? 1 : 0);
    }
    // clang-format on
}

// Which boxes the window greys, as the core decides: the mouse boxes and "Allow Simulated"
// while the Disable / Enable shortcut is chosen, both shortcuts' boxes while keys are blocked,
// a box under a policy lock, and the touchpad's where it cannot be switched.
TEST(DialogCore, BoxesGreyedWhereTheirChoiceCannotHold) {
    struct Case {
        const char* name;
        std::initializer_list<std::pair<SettingIndex, int>> stored;
        int locked; // a row under policy, or -1
        bool touchpad;
        std::vector<SettingIndex> greyed;
    };
    const std::vector<SettingIndex> mouse = {kCheckDisableLeftClick,      kCheckDisableMiddleClick,
                                             kCheckDisableMouseMovements, kCheckDisableMouseWheel,
                                             kCheckDisableRightClick,     kAllowInjected};
    std::vector<SettingIndex> mouseAndTouchpad = mouse;
    mouseAndTouchpad.push_back(kDisableTouchpad);
    const Case cases[] = {
        {"nothing chosen", {}, -1, true, {}},
        {"no touchpad", {}, -1, false, {kDisableTouchpad}},
        {"keys blocked",
         {{kDisableKeyboardKeys, 1}},
         -1,
         true,
         {kCloseWithKeyboardShortcut, kDisableEnableKeyboardShortcut}},
        {"shortcut chosen",
         {{kDisableEnableKeyboardShortcut, 1}, {kKey2, 0x51}},
         -1,
         false,
         mouseAndTouchpad},
        {"locked", {}, kAutoMinimize, true, {kAutoMinimize}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHooks hooks;
        FakeStore store;
        StoreNumbers(store, c.stored);
        FakeTouchpad pad;
        pad.supported = c.touchpad;
        TestDialog dialog(hooks, store, pad);
        if (c.locked >= 0) {
            SettingsPolicy policy;
            policy.locked[c.locked] = StoredSettingValue{0, {}};
            dialog.core.SetPolicy(policy);
        }
        dialog.Start();
        for (int i = 0; i < kSettingCount; ++i) {
            const bool greyed = std::find(c.greyed.begin(), c.greyed.end(), i) != c.greyed.end();
            EXPECT_EQ(dialog.core.BoxEnabled(i), !greyed) << i;
        }
    }
}

// A locked setting is in force with the policy's value whatever its box or a reset says, the
// user's own stored value is never written over, and it comes back when the policy goes.
TEST(DialogCore, LockedSettingsHoldAndTheUsersOwnComeBack) {
    FakeHooks hooks;
    FakeStore store;
    StoreNumbers(store, {{kCheckDisableLeftClick, 0}, {kAllowInjected, 0}, {kAutoMinimize, 1}});
    SettingsPolicy policy;
    policy.locked[kCheckDisableLeftClick] = StoredSettingValue{1, {}};
    policy.locked[kAllowInjected] = StoredSettingValue{1, {}};
    TestDialog dialog(hooks, store);
    dialog.core.SetPolicy(policy);
    dialog.Start();
    EXPECT_EQ(hooks.calls, (Calls{"M01/1", "K0/1"}));
    hooks.calls.clear();
    EXPECT_FALSE(dialog.Click(kCheckDisableLeftClick));
    EXPECT_EQ(hooks.calls, (Calls{"M01/1", "K0/1"}));
    EXPECT_TRUE(dialog.Control(kCheckDisableLeftClick));
    EXPECT_TRUE(dialog.Click(kCheckDisableRightClick));
    EXPECT_TRUE(dialog.errors.empty());
    EXPECT_EQ(store.Number(kCheckDisableRightClick), 1);

    EXPECT_TRUE(dialog.core.ResetStoredSettings(true));
    TestDialog windowless(hooks, store);
    windowless.core.SetPolicy(policy);
    EXPECT_TRUE(windowless.core.ResetStoredSettings(false));
    for (const TestDialog* d : {&dialog, &windowless}) {
        EXPECT_EQ(d->Value(kCheckDisableLeftClick), 1);
        EXPECT_EQ(d->Value(kAllowInjected), 1);
        EXPECT_EQ(d->Value(kCheckDisableRightClick), 0);
    }
    EXPECT_EQ(store.Number(kCheckDisableRightClick), 0);
    EXPECT_EQ(store.Number(kAutoMinimize), 0);
    EXPECT_EQ(store.Number(kCheckDisableLeftClick), 0);
    EXPECT_EQ(store.Number(kAllowInjected), 0);

    dialog.core.SetPolicy({});
    dialog.core.LoadSettings();
    EXPECT_EQ(dialog.Value(kCheckDisableLeftClick), 0);
    EXPECT_EQ(dialog.Value(kAllowInjected), 0);
}

} // namespace

// The lock for cleaning. Steps: L a lock of 60 s, c a click on Disable Left Button Click, p the
// Disable / Enable shortcut, e the library's word that the lock ended (time or chord), u the
// lock ended from here, r "Release All Blocking" from the icon's menu.
TEST(DialogCore, TimedLockHoldsEverythingAndGivesBackTheUsersOwnChoice) {
    const std::wstring counting = LockCountdownText(english, 60000);
    const std::wstring ended = English(TextId::LockEnded);
    struct Case {
        const char* name;
        const char* steps;
        Calls calls;
        std::wstring status;
        bool active;
        int leftStored; // the user's choice in the store afterwards
        bool allowed = true, failLock = false, touchpadBox = false;
        int memo = -1; // whether the touchpad is remembered as ours afterwards; -1 not asked
    };
    const Case cases[] = {
        {"start", "L", {"L60"}, counting, true, 1},
        {"ends on time or by chord", "Le", {"L60"}, ended, false, 1},
        {"told twice", "Lee", {"L60"}, ended, false, 1},
        {"ended from here", "Lu", {"L60", "L0"}, ended, false, 1},
        {"the menu's release ends it", "Lr", {"L60", "L0"}, ended, false, 1},
        {"a click waits", "Lc", {"L60"}, counting, true, 1},
        {"then applies", "Lce", {"L60", "M00/1", "K0/1"}, kEnabled, false, 0},
        {"the shortcut waits, then applies", "Lpe", {"L60", "M00/1"}, kEnabled, false, 1},
        {"two presses cancel", "Lppe", {"L60"}, ended, false, 1},
        {"a second lock sets a new end", "LLe", {"L60", "L60"}, ended, false, 1},
        {"forbidden", "Lc", {"M00/1", "K0/1"}, kEnabled, false, 0, false},
        {"failed, the click applies at once",
         "Lc",
         {"L60!", "M00/1", "K0/1"},
         kEnabled,
         false,
         0,
         true,
         true},
        {"release without a lock is the chord's", "r", {"C1"}, kDisabled, false, 1},
        // The library switches the touchpad; it is ours to give back only while it is off.
        {"the touchpad is ours while locked",
         "L",
         {"L60"},
         counting,
         true,
         1,
         true,
         false,
         false,
         1},
        {"and no longer once it is on", "Le", {"L60"}, ended, false, 1, true, false, false, 0},
        {"a failed lock remembers nothing",
         "L",
         {"L60!"},
         kDisabled,
         false,
         1,
         true,
         true,
         false,
         0},
        {"held off by the box, it stays ours",
         "Lue",
         {"L60", "L0"},
         ended,
         false,
         1,
         true,
         false,
         true,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHooks hooks;
        FakeStore store;
        FakeTouchpad touchpad;
        StoreNumbers(store, {{kCheckDisableLeftClick, 1}, {kDisableTouchpad, c.touchpadBox}});
        TestDialog dialog(hooks, store, touchpad);
        SettingsPolicy policy;
        policy.allowTimedLock = c.allowed;
        dialog.core.SetPolicy(policy);
        dialog.Start();
        hooks.calls.clear();
        hooks.failKeyboardOn = c.failLock;
        const Calls touchpadCalls = touchpad.calls;
        const auto members = dialog.core.Values().All();
        for (const char* step = c.steps; *step != '\0'; ++step) {
            switch (*step) {
            case 'L':
                EXPECT_EQ(dialog.core.BeginTimedLock(60), !c.allowed   ? TimedLock::Start::Forbidden
                                                          : c.failLock ? TimedLock::Start::Failed
                                                                       : TimedLock::Start::Started);
                hooks.failKeyboardOn = false;
                break;
            case 'c':
                dialog.Click(kCheckDisableLeftClick);
                break;
            case 'p':
                dialog.core.ToggleMouseBlocking();
                break;
            case 'e':
                dialog.core.TimedLockEnded();
                break;
            case 'u':
                dialog.core.EndTimedLock();
                break;
            case 'r':
                dialog.core.ActAsChord(true);
                break;
            }
        }
        EXPECT_EQ(hooks.calls, c.calls);
        EXPECT_EQ(dialog.status, c.status);
        EXPECT_EQ(dialog.core.TimedLockActive(), c.active);
        EXPECT_EQ(store.Number(kCheckDisableLeftClick), c.leftStored);
        if (std::string(c.steps).find('c') == std::string::npos) {
            EXPECT_EQ(dialog.core.Values().All(), members); // the user's boxes as they were
        }
        EXPECT_EQ(touchpad.calls, touchpadCalls); // the library, not the core, switches it
        if (c.memo >= 0) {
            EXPECT_EQ(store.Load(kTouchpadSwitchedOff).number, c.memo);
        }
        EXPECT_EQ(touchpad.enabled, !c.touchpadBox);
        EXPECT_EQ(dialog.errors.size(), c.failLock ? 1u : 0u);
    }
}
