// The pass-or-discard rules checked exhaustively against an independent table of which
// messages each filter bit covers.
#include "HookDecision.h"
#include "ReleaseChord.h"
#include "TouchpadSwitchRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Which filter bit discards a message; messages absent here are never discarded.
const std::map<std::uintptr_t, std::uint16_t>& MessageBits() {
    static const std::map<std::uintptr_t, std::uint16_t> bits = {
        {0x200, 0x08}, {0x201, 0x01}, {0x202, 0x01}, {0x203, 0x01}, {0x204, 0x02}, {0x205, 0x02},
        {0x206, 0x02}, {0x207, 0x04}, {0x208, 0x04}, {0x209, 0x04}, {0x20A, 0x10},
    };
    return bits;
}

bool ExpectedPass(std::uint16_t filter, std::int32_t passInjected, std::uintptr_t message,
                  std::uint32_t flags) {
    if (passInjected != 0 && flags != 0) {
        return true;
    }
    auto it = MessageBits().find(message);
    return it == MessageBits().end() || (filter & it->second) == 0;
}

std::vector<std::uintptr_t> AllMessages() {
    std::vector<std::uintptr_t> messages;
    for (std::uintptr_t m = 0x1FF; m <= 0x20F; ++m) {
        messages.push_back(m);
    }
    // Values that share their low bits with a button message must not be taken for one.
    for (std::uintptr_t far :
         {std::uintptr_t{0}, std::uintptr_t{0x10201}, std::uintptr_t{0x1200},
          std::uintptr_t{0x8000020A}, std::uintptr_t{0xFFFF0201}, std::uintptr_t{0x100000201},
          std::uintptr_t{0x10000020A}, ~std::uintptr_t{0}, ~std::uintptr_t{0} - 0x1FD}) {
        messages.push_back(far);
    }
    return messages;
}

const std::uint32_t kMouseFlags[] = {0x00, 0x01, 0x02, 0x03, 0x10};
const std::int32_t kPassInjected[] = {0, 1, -1, 2, INT32_MIN, INT32_MAX};

TEST(MouseDecision, EveryFilterCombinationMessageFlagAndPassInjected) {
    const auto messages = AllMessages();
    int checked = 0;
    for (unsigned low = 0; low < 32; ++low) {
        // Carried bits 5-15 never change a decision.
        for (unsigned carried : {0x0000u, 0x0020u, 0x0040u, 0x0100u, 0x8000u, 0xFFE0u}) {
            const auto filter = static_cast<std::uint16_t>(low | carried);
            for (std::int32_t passInjected : kPassInjected) {
                for (std::uint32_t flags : kMouseFlags) {
                    for (std::uintptr_t message : messages) {
                        ASSERT_EQ(ShouldPassMouseEvent(filter, passInjected, message, flags, 0),
                                  ExpectedPass(filter, passInjected, message, flags))
                            << std::hex << "filter 0x" << filter << " passInjected 0x"
                            << passInjected << " message 0x" << message << " flags 0x" << flags;
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 32 * 6 * 6 * 5 * static_cast<int>(messages.size()));
}

struct MouseCase {
    const char* what;
    std::uint16_t filter;
    std::int32_t passInjected;
    std::uintptr_t message;
    std::uint32_t flags;
    bool pass;
    std::uintptr_t extraInfo = 0;
};

void PrintTo(const MouseCase& c, std::ostream* os) {
    *os << c.what;
}

class MouseDecisionCases : public ::testing::TestWithParam<MouseCase> {};

TEST_P(MouseDecisionCases, Decides) {
    const MouseCase& c = GetParam();
    EXPECT_EQ(ShouldPassMouseEvent(c.filter, c.passInjected, c.message, c.flags, c.extraInfo),
              c.pass)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    NamedRules, MouseDecisionCases,
    ::testing::Values(
        MouseCase{"left down discarded by left bit", MOUSE_FILTER_LEFT, 0, 0x201, 0, false},
        MouseCase{"left double click discarded", MOUSE_FILTER_LEFT, 0, 0x203, 0, false},
        MouseCase{"right bit is 0x02", MOUSE_FILTER_RIGHT, 0, 0x204, 0, false},
        MouseCase{"middle bit is 0x04", MOUSE_FILTER_MIDDLE, 0, 0x208, 0, false},
        MouseCase{"right bit leaves middle alone", MOUSE_FILTER_RIGHT, 0, 0x207, 0, true},
        MouseCase{"move bit discards moves", MOUSE_FILTER_MOVE, 0, 0x200, 0, false},
        MouseCase{"wheel bit discards vertical wheel", MOUSE_FILTER_WHEEL, 0, 0x20A, 0, false},
        MouseCase{"horizontal wheel always passes", 0x1F, 0, 0x20E, 0, true},
        MouseCase{"extra button down passes", 0x1F, 0, 0x20B, 0, true},
        MouseCase{"extra button up passes", 0x1F, 0, 0x20C, 0, true},
        MouseCase{"extra button double click passes", 0x1F, 0, 0x20D, 0, true},
        MouseCase{"0x20 names no event", 0x20, 0, 0x201, 0, true},
        MouseCase{"lower-integrity injected passes", MOUSE_FILTER_LEFT, 1, 0x201, 0x02, true},
        MouseCase{"lower-integrity injected blocked when not allowed", MOUSE_FILTER_LEFT, 0, 0x201,
                  0x02, false},
        MouseCase{"injected passes with any non-zero allow value", MOUSE_FILTER_LEFT, -7, 0x202,
                  0x01, true},
        MouseCase{"real click not let through by allow", MOUSE_FILTER_LEFT, 1, 0x201, 0, false},
        MouseCase{"upper bits of message are compared", 0x1F, 0, 0x10201, 0, true},
        MouseCase{"touch tap discarded with allow on", MOUSE_FILTER_LEFT, 1, 0x201, 0x01, false,
                  0xFF515780},
        MouseCase{"touch tap discarded with allow off", MOUSE_FILTER_LEFT, 0, 0x201, 0x01, false,
                  0xFF515780},
        MouseCase{"pen stroke discarded with allow on", MOUSE_FILTER_LEFT, 1, 0x202, 0x01, false,
                  0xFF515700},
        MouseCase{"pen stroke discarded with allow off", MOUSE_FILTER_LEFT, 0, 0x202, 0x01, false,
                  0xFF515700},
        MouseCase{"only the low 32 bits carry the mark", MOUSE_FILTER_LEFT, 1, 0x201, 0x01, false,
                  0xABCD0000FF515780},
        MouseCase{"touch right click passes a left-only filter", MOUSE_FILTER_LEFT, 1, 0x204, 0x01,
                  true, 0xFF515780},
        MouseCase{"look-alike mark is simulated input", MOUSE_FILTER_LEFT, 1, 0x201, 0x01, true,
                  0xFF515600}));

TEST(KeyboardDecision, EveryPassInjectedCodeAndFlag) {
    const std::int32_t passValues[] = {0, 1, -1, 7, INT32_MIN};
    const int codes[] = {INT32_MIN, -5, -1, 0, 1, 3, INT32_MAX};
    const std::uint32_t flagValues[] = {0x00, 0x01, 0x02, 0x10,       0x11,      0x12,
                                        0x20, 0x80, 0x90, 0xFFFFFFEF, 0xFFFFFFFF};
    for (std::int32_t passInjected : passValues) {
        for (int nCode : codes) {
            for (std::uint32_t flags : flagValues) {
                const bool injected = (flags & 0x10) != 0;
                const bool expected = nCode < 0 || (passInjected != 0 && injected);
                EXPECT_EQ(ShouldPassKeyboardEvent(passInjected, nCode, flags), expected)
                    << std::hex << "passInjected 0x" << passInjected << " nCode " << std::dec
                    << nCode << std::hex << " flags 0x" << flags;
            }
        }
    }
}

TEST(KeyboardDecision, OnlyTheInjectedBitCountsForKeys) {
    // Lower-integrity injection (0x02) alone is not enough for a key, unlike for the mouse.
    EXPECT_FALSE(ShouldPassKeyboardEvent(1, 0, 0x02));
    EXPECT_TRUE(ShouldPassKeyboardEvent(1, 0, 0x10));
    EXPECT_TRUE(ShouldPassMouseEvent(MOUSE_FILTER_LEFT, 1, 0x201, 0x02, 0));
    // Key-up flag (0x80) of a real key does not make it pass.
    EXPECT_FALSE(ShouldPassKeyboardEvent(1, 0, 0x80));
}

// Only the library's own mark on an injected key passes every state: not the mark on a real
// key, nor another program's key, nor a near miss of the mark or a touch mark.
TEST(KeyboardDecision, OwnKeysAreTheMarkedInjectedOnes) {
    struct Case {
        std::uintptr_t extraInfo;
        std::uint32_t flags;
        bool own;
    };
    const std::uintptr_t mark = OwnInputMarkFrom(0x51564B54u);
    const Case cases[] = {
        {mark, 0x10, true},
        {mark, 0x90, true},
        {mark, 0x00, false},
        {mark, 0x02, false},
        {0, 0x10, false},
        {mark + 1, 0x10, false},
        {mark ^ 1ull << 32, 0x10, false},
        {0x51564B54u, 0x10, false}, // the random bits without the mark's own bit
        {0xFF515780, 0x10, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsOwnKey(c.extraInfo, c.flags, mark), c.own)
            << std::hex << c.extraInfo << " " << c.flags;
    }
    // Before the mark is drawn, nothing is the library's own.
    EXPECT_FALSE(IsOwnKey(0, 0x10, 0));
    EXPECT_NE(OwnInputMarkFrom(0), 0u);
}

// The mark counts only for the keys of the library's own SendInput call while it runs, each in
// its turn: a copied mark on a key another program sends then or later is no proof.
TEST(KeyboardDecision, OwnKeysAreOnlyThoseOfTheCallInFlight) {
    const std::uintptr_t mark = OwnInputMarkFrom(0x51564B54u);
    struct Event {
        std::uintptr_t extraInfo;
        std::uint32_t vk;
        bool up;
        bool own;
    };
    struct Case {
        const char* name;
        bool inFlight;
        std::vector<Event> events;
    };
    const Case cases[] = {
        {"the call's keys in order",
         true,
         {{mark, 0xA2, false, true},
          {mark, 0x5B, false, true},
          {mark, 0x87, false, true},
          {mark, 0x87, true, true},
          {mark, 0x5B, true, true},
          {mark, 0xA2, true, true},
          {mark, 0xA2, false, false}}}, // one more: the call sent only six
        {"no call under way", false, {{mark, 0xA2, false, false}, {mark, 0x41, false, false}}},
        {"a replayed key during the call",
         true,
         {{mark, 0x41, false, false}, {mark, 0xA2, true, false}, {mark, 0xA2, false, true}}},
        {"the call's key without the mark",
         true,
         {{0, 0xA2, false, false}, {mark, 0xA2, false, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnKeysInFlight own;
        const std::uint32_t keys[] = {0xA2, 0x5B, 0x87, 0x87, 0x5B, 0xA2};
        for (unsigned i = 0; c.inFlight && i < 6; ++i) {
            own.vk[i] = keys[i];
            own.up[i] = i >= 3;
        }
        own.count = c.inFlight ? 6 : 0;
        for (const Event& e : c.events) {
            EXPECT_EQ(own.Take(e.extraInfo, 0x10, mark, e.vk, e.up), e.own) << std::hex << e.vk;
        }
    }
    // A real key with the mark is never the library's own.
    OwnKeysInFlight own;
    own.vk[0] = 0xA2;
    own.count = 1;
    EXPECT_FALSE(own.Take(mark, 0, mark, 0xA2, false));
}

// The toggle waits while a modifier is held, and for 30 s at most; a short count from SendInput
// with no error is the refusal of user-interface privilege isolation.
TEST(TouchpadSwitch, WaitsForTheModifiersAndNamesASilentRefusal) {
    EXPECT_EQ(NextSwitchStep(false, 0), SwitchStep::Send);
    EXPECT_EQ(NextSwitchStep(false, 40000), SwitchStep::Send);
    EXPECT_EQ(NextSwitchStep(true, 0), SwitchStep::Wait);
    EXPECT_EQ(NextSwitchStep(true, 30000), SwitchStep::Wait);
    EXPECT_EQ(NextSwitchStep(true, 30001), SwitchStep::GiveUp);
    EXPECT_EQ(SendInputError(6, 6, 0), 0u);
    EXPECT_EQ(SendInputError(6, 6, 5), 0u);
    EXPECT_EQ(SendInputError(0, 6, 5), 5u);
    EXPECT_EQ(SendInputError(0, 6, 0), kBlockedByPrivilegeError);
    EXPECT_EQ(SendInputError(3, 6, 0), kBlockedByPrivilegeError);
}

static_assert(ShouldPassMouseEvent(0, 0, 0x201, 0, 0), "word 0 discards nothing");
static_assert(!ShouldPassMouseEvent(0x1F, 0, 0x200, 0, 0), "0x1F discards moves");

} // namespace

#include "HookWatchdog.h"

TEST(HookWatchdog, ReinstallsSuspectsAndAnnouncesOnlyProvedDrops) {
    constexpr HookActivity idle{}, moved{true, true, false, false},
        unseen{true, false, false, false}, typed{true, false, false, true},
        typedBlocked{false, false, true, true}, typedMoving{true, false, false, true, true},
        seen{false, true, true, false}, lateCall{false, true, false, false};
    constexpr int M = 1, K = 2, B = 3; // mouse, keyboard, both
    constexpr std::uint32_t gone = kHookAlreadyGone;
    struct Case {
        const char* what;
        HookActivity recent[3];
        int hooks, retriedBefore, suspected, retriedAfter;
        int failed; // kinds whose old hook could not be removed, with this error
        int announced;
        std::uint32_t error = gone;
        bool keysBlocked = true;
    };
    const Case cases[] = {
        {"idle desktop", {idle, idle, idle}, B, 0, 0, 0, 0, 0},
        {"mouse-only blocking while typing", {idle, typed, idle}, M, 0, 0, 0, 0, 0},
        {"keyboard-only blocking, mouse used", {unseen, unseen, unseen}, K, 0, 0, 0, 0, 0},
        {"keys discarded by a live hook", {typedBlocked, typedBlocked, idle}, B, 0, 0, 0, 0, 0},
        {"mouse hook saw the move", {idle, unseen, moved}, M, 0, 0, 0, 0, 0},
        {"hook call just before the interval", {idle, unseen, lateCall}, M, 0, 0, 0, 0, 0},
        {"mouse hook dropped", {unseen, unseen, idle}, M, 0, M, M, M, M},
        {"keyboard hook dropped", {idle, typed, idle}, K, 0, K, K, K, K},
        {"typing, the pointer still: only the keyboard", {idle, typed, idle}, B, 0, K, K, K, K},
        {"both hooks back at once", {idle, typedMoving, idle}, B, 0, B, B, B, B},
        // Suspected but not proved (a touchpad gesture, an administrator's window): the old
        // hooks were still in place, so the re-install was silent.
        {"mouse suspected, hook in place", {unseen, unseen, idle}, M, 0, M, M, 0, 0},
        {"both suspected, neither gone", {unseen, typedMoving, idle}, B, 0, B, B, 0, 0},
        {"both suspected, only keyboard gone", {unseen, typedMoving, idle}, B, 0, B, B, K, K},
        {"removal failed otherwise", {unseen, unseen, idle}, M, 0, M, M, M, 0, 5},
        {"chord's watch back silently", {idle, typed, idle}, B, 0, K, K, K, 0, gone, false},
        {"fruitless re-install stays quiet", {unseen, unseen, idle}, M, M, 0, M, 0, 0},
        {"fruitless mouse, keys still watched", {idle, typedMoving, idle}, B, M, K, B, K, K},
        {"hooks seen again: watched anew", {idle, idle, seen}, B, B, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        WatchdogMemory memory{(c.retriedBefore & M) != 0, (c.retriedBefore & K) != 0};
        const WatchdogVerdict suspects = ConfirmDrops(
            SuspectHooks(c.recent, (c.hooks & M) != 0, (c.hooks & K) != 0), c.recent, memory);
        EXPECT_EQ((suspects.mouseDropped ? M : 0) | (suspects.keyboardDropped ? K : 0), c.suspected)
            << c.what;
        EXPECT_EQ((memory.mouseRetried ? M : 0) | (memory.keyboardRetried ? K : 0), c.retriedAfter)
            << c.what;
        const WatchdogVerdict announced =
            ProvedDrops(suspects, (c.failed & M) != 0 ? c.error : 0,
                        (c.failed & K) != 0 ? c.error : 0, c.keysBlocked);
        EXPECT_EQ((announced.mouseDropped ? M : 0) | (announced.keyboardDropped ? K : 0),
                  c.announced)
            << c.what;
    }
}

// The pace: short intervals while anything happened in the three judged from, else the rare
// look; the pointer is read only after an interval in which input passed.
TEST(HookWatchdog, RestsOnlyWhenNothingHappenedAndReadsThePointerOnlyForPassedInput) {
    constexpr HookActivity idle{}, passed{true}, mouseSeen{false, true},
        keySeen{false, false, true}, typed{false, false, false, true},
        movedOnly{false, false, false, false, true};
    struct Case {
        const char* what;
        HookActivity recent[3];
        std::uint32_t period;
        bool readPointer;
    };
    const Case cases[] = {
        {"nothing at all", {idle, idle, idle}, kRestPeriodMs, false},
        {"a pointer read that found it elsewhere alone",
         {movedOnly, idle, idle},
         kRestPeriodMs,
         false},
        {"input passed just now", {passed, idle, idle}, kActivePeriodMs, true},
        {"input passed two intervals ago", {idle, idle, passed}, kActivePeriodMs, false},
        {"a discarded move", {mouseSeen, idle, idle}, kActivePeriodMs, false},
        {"a discarded key", {idle, keySeen, idle}, kActivePeriodMs, false},
        {"a key seen only by the raw-input sink", {idle, idle, typed}, kActivePeriodMs, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextPeriodMs(c.recent), c.period) << c.what;
        EXPECT_EQ(PointerReadNeeded(c.recent[0]), c.readPointer) << c.what;
    }
}

static_assert(ButtonReleasedBy(0x202) == ReleasedButton::Left &&
              ButtonReleasedBy(0x205) == ReleasedButton::Right &&
              ButtonReleasedBy(0x208) == ReleasedButton::Middle &&
              ButtonReleasedBy(0x201) == ReleasedButton::None &&
              ButtonReleasedBy(0x20C) == ReleasedButton::None);
static_assert(IsKeyRelease(0x101) && IsKeyRelease(0x105) && !IsKeyRelease(0x100));

// What passes beyond the filter: while the chord released blocking, while the keyboard hook
// only watches for the chord (mouse-only blocking), and releases whose press the system saw.
// The chord's own Q is swallowed, press and release, in every mode.
TEST(HookDecision, ReleasedWatchedAndHeldReleases) {
    constexpr auto Pass = EventVerdict::Pass, Discard = EventVerdict::Discard,
                   IfDown = EventVerdict::PassIfStillDown;
    constexpr auto Watching = KeyboardMode::Watching, Blocking = KeyboardMode::Blocking,
                   Released = KeyboardMode::Released;
    struct KeyCase {
        const char* what;
        KeyboardMode mode;
        std::int32_t passInjected;
        int nCode;
        std::uint32_t flags;
        std::uintptr_t message;
        EventVerdict verdict;
    };
    const KeyCase keys[] = {
        {"watching: a press passes", Watching, 0, 0, 0, 0x100, Pass},
        {"watching: a release passes", Watching, 0, 0, 0x80, 0x101, Pass},
        {"released: a press passes", Released, 0, 0, 0, 0x100, Pass},
        {"released: a release passes if its press was seen", Released, 0, 0, 0x80, 0x101, IfDown},
        {"blocking: a press is discarded", Blocking, 0, 0, 0, 0x100, Discard},
        {"blocking: a simulated press with allow on", Blocking, 1, 0, 0x10, 0x100, Pass},
        {"blocking: a simulated release with allow on", Blocking, 1, 0, 0x90, 0x101, Pass},
        {"blocking: a release held from before", Blocking, 0, 0, 0x80, 0x101, IfDown},
        {"blocking: nCode below zero", Blocking, 0, -1, 0, 0x100, Pass},
    };
    for (const KeyCase& c : keys) {
        EXPECT_EQ(DecideKeyboardEvent(c.mode, c.passInjected, c.nCode, c.flags, c.message),
                  c.verdict)
            << c.what;
    }
    struct MouseCase {
        const char* what;
        bool released;
        int nCode;
        std::uint16_t filter;
        std::uintptr_t message;
        EventVerdict verdict;
    };
    const MouseCase mouse[] = {
        {"released: a blocked press passes", true, 0, 0x1F, 0x201, Pass},
        {"blocked: a press is discarded", false, 0, 0x01, 0x201, Discard},
        {"blocked: a release passes if its press was seen", false, 0, 0x01, 0x202, IfDown},
        {"blocked: a move is no release", false, 0, 0x08, 0x200, Discard},
        {"nCode below zero", false, -1, 0x1F, 0x201, Pass},
    };
    for (const MouseCase& c : mouse) {
        EXPECT_EQ(DecideMouseEvent(c.released, c.nCode, c.filter, 0, c.message, 0, 0), c.verdict)
            << c.what;
    }
}

// The release chord from sequences of key events: "+X" presses X, "-X" lets it go, "!" marks
// the events that must complete the chord, "*" a simulated key, "@T" its time in ms. A leading
// "sticky" means the system's Sticky Keys is on.
TEST(ReleaseChord, FiresOnceOnTheRealPressThatCompletesIt) {
    const std::map<std::string, std::uint32_t> vks = {
        {"Q", 0x51},      {"LCtrl", 0xA2},  {"RCtrl", 0xA3}, {"LAlt", 0xA4}, {"RAlt", 0xA5},
        {"LShift", 0xA0}, {"RShift", 0xA1}, {"Ctrl", 0x11},  {"A", 0x41},    {"LWin", 0x5B}};
    const char* cases[] = {
        "+LCtrl +LAlt +LShift +Q!",
        "+RShift +RAlt +RCtrl +Q!",                // any order, right-hand keys
        "+Ctrl +RAlt +LShift +Q!",                 // mixed, and the generic code
        "+Q +LCtrl +LAlt +LShift",                 // Q first
        "+LCtrl +LAlt +Q",                         // a modifier missing
        "+LCtrl +LAlt +LShift -LAlt +Q",           // a modifier let go
        "+A +LCtrl +LAlt +LShift +Q",              // another key held
        "+LWin +LCtrl +LAlt +LShift +Q",           // the Windows key held
        "+A -A +LCtrl +LAlt +LShift +Q!",          // another key let go
        "+A@0 +LCtrl@5000 +LAlt +LShift +Q@5000!", // its release went where we could not see
        "+LCtrl@0 +LAlt +LShift +Q@9000!",         // modifiers held without repeat
        "+LCtrl@0 +LAlt@0 +LShift +Q@20000",       // their releases went unseen
        "+LCtrl +LAlt +LShift +Q! +Q +Q",          // auto-repeat
        "+LCtrl +LAlt +LShift +Q*",                // simulated Q
        "+LCtrl +LAlt* +LShift +Q",                // a simulated modifier
        "+LCtrl +LAlt +LShift +Q! -Q +Q!",         // Q again
        "+LCtrl +LAlt +LShift +Q! -Q -LShift -LAlt -LCtrl +RCtrl +RAlt +RShift +Q!",
        // Q's release went unseen: its next real press is no auto-repeat once Q stopped coming.
        "+Q@0 +LCtrl@3000 +LAlt@3000 +LShift@3000 +Q@3000!",
        "+Q@0 +LCtrl@500 +LAlt@500 +LShift@500 +Q@1000", // within repeat: Q still held
        // Sticky Keys: modifiers tapped one after the other.
        "sticky +LCtrl -LCtrl +LAlt -LAlt +LShift -LShift +Q!",
        "sticky +RShift -RShift +LCtrl -LCtrl +RAlt -RAlt +Q!",
        "sticky +LCtrl +LAlt -LAlt +LShift -LShift +Q!", // one held, two tapped
        "+LCtrl -LCtrl +LAlt -LAlt +LShift -LShift +Q",  // Sticky Keys off: taps do not count
        "sticky +LCtrl -LCtrl +LAlt -LAlt +Q",           // one tap missing
        "sticky +LCtrl -LCtrl +LAlt -LAlt +A -A +LShift -LShift +Q", // A took the latch
        "sticky +LCtrl@0 -LCtrl@100 +LAlt@5500 -LAlt@5600 +LShift@5700 -LShift@5800 +Q@5900",
        "sticky +LCtrl -LCtrl +LAlt -LAlt +LShift -LShift +Q! -Q +Q", // the taps are used up
        "sticky +LCtrl* -LCtrl* +LAlt -LAlt +LShift -LShift +Q",      // a simulated tap
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        std::istringstream in(text);
        ReleaseChord chord;
        for (std::string word; in >> word;) {
            if (word == "sticky") {
                chord.SetStickyKeys(true);
                continue;
            }
            const bool expected = word.back() == '!';
            const bool injected = word.find('*') != std::string::npos;
            const auto at = word.find('@');
            const std::uint32_t time =
                at == std::string::npos
                    ? 1000
                    : static_cast<std::uint32_t>(std::stoul(word.substr(at + 1)));
            const std::string key = word.substr(1, word.find_first_of("!*@") - 1);
            ASSERT_TRUE(vks.count(key)) << key;
            EXPECT_EQ(chord.Feed(vks.at(key), word[0] == '-', injected ? 0x10 : 0, time), expected)
                << word;
        }
    }
    // The chord's Q is swallowed, press and release, and nothing else is.
    ChordState state;
    for (const std::uint32_t vk : {0xA2u, 0xA4u, 0xA0u}) {
        EXPECT_FALSE(state.Swallows(vk, false, 0, 0));
    }
    EXPECT_FALSE(state.Swallows(0x51, true, 0x10, 0)) << "a simulated release before the chord";
    EXPECT_TRUE(state.Swallows(0x51, false, 0, 0));
    EXPECT_TRUE(state.released && state.toggled);
    EXPECT_FALSE(state.Swallows(0xA0, true, 0, 0));
    EXPECT_TRUE(state.Swallows(0x51, true, 0, 0));
    EXPECT_FALSE(state.Swallows(0x51, false, 0, 0)) << "Q alone";
    EXPECT_FALSE(state.Swallows(0x51, true, 0, 0));
    // Keys injected from a lower integrity level are a program's too; a cleared record forgets.
    ReleaseChord chord;
    for (const std::uint32_t vk : {0xA2u, 0xA4u, 0xA0u}) {
        chord.Feed(vk, false, 0, 0);
    }
    EXPECT_FALSE(chord.Feed(0x51, false, 0x02, 0));
    chord.Clear();
    EXPECT_FALSE(chord.Feed(0x51, false, 0, 0));
}

// The user's own Ctrl, Alt, Shift and Win as the touchpad's toggle waits for them: held until
// released, or until they stop coming for the modifiers' bound; simulated keys never count.
TEST(ReleaseChord, KnowsTheModifiersTheUserHolds) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint32_t, int>> keys; // vk, +1 press / -1 release / 0 simulated
        std::uint32_t now;
        bool held;
    };
    const Case cases[] = {
        {"nothing", {}, 1000, false},
        {"ctrl", {{0xA2, 1}}, 1000, true},
        {"right alt", {{0xA5, 1}}, 1000, true},
        {"shift let go", {{0xA0, 1}, {0xA0, -1}}, 1000, false},
        {"left win", {{0x5B, 1}}, 1000, true},
        {"right win", {{0x5C, 1}}, 1000, true},
        {"only Q", {{0x51, 1}}, 1000, false},
        {"held past the bound", {{0xA2, 1}}, 1000 + 10001, false},
        {"held to the bound", {{0xA2, 1}}, 1000 + 10000, true},
        {"stamped a moment after now", {{0xA2, 1}}, 990, true},
        {"simulated", {{0xA2, 0}}, 1000, false},
        {"chord, then all let go",
         {{0xA2, 1},
          {0xA4, 1},
          {0xA0, 1},
          {0x51, 1},
          {0x51, -1},
          {0xA0, -1},
          {0xA4, -1},
          {0xA2, -1}},
         1000,
         false},
        {"chord, Ctrl still down",
         {{0xA2, 1}, {0xA4, 1}, {0xA0, 1}, {0x51, 1}, {0xA0, -1}, {0xA4, -1}},
         1000,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReleaseChord chord;
        for (const auto& [vk, how] : c.keys) {
            chord.Feed(vk, how < 0, how == 0 ? 0x10 : 0, 1000);
        }
        EXPECT_EQ(chord.ModifierHeld(c.now), c.held);
    }
}
