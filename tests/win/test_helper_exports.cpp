// The two exports of Helper.dll against the real platform hooks: results, the caller's
// error variable, replacement of a hook by the next call, the pass-injected flag that both
// hooks share, and what the hooks let through of simulated input.
#include "Helper.h"
#include "HookHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using hooktest::HookThread;
using hooktest::Probe;
using hooktest::ProbeResult;
using hooktest::UniqueDesktop;
using hooktest::UniqueHook;

using Names = std::vector<std::string>;

const Names kNone{};
const Names kLeft{"left down", "left up"};
const Names kRight{"right down", "right up"};
const Names kMiddle{"middle down", "middle up"};
const Names kLeftAndRight{"left down", "left up", "right down", "right up"};
const Names kEveryFiltered{"move",     "left down",   "left up",   "right down",
                           "right up", "middle down", "middle up", "wheel"};

// Seeded into the caller's error variable: any write shows.
constexpr DWORD kSentinel = 0xC0FFEE11;

// One call of either export, as the program makes them.
struct Call {
    enum Kind { Mouse, Keyboard } kind;
    WORD value; // the mouse filter word, or bDisable for the keyboard
    BOOL allowInjected;
};

constexpr Call M(WORD filter, BOOL allow) {
    return {Call::Mouse, filter, allow};
}
constexpr Call K(BOOL disable, BOOL allow) {
    return {Call::Keyboard, static_cast<WORD>(disable), allow};
}

std::string Describe(const std::vector<Call>& calls) {
    std::string text;
    for (const Call& call : calls) {
        char one[64];
        std::snprintf(one, sizeof one, "%s(0x%X, %d) ", call.kind == Call::Mouse ? "M" : "K",
                      call.value, call.allowInjected);
        text += one;
    }
    return text;
}

class HelperExports : public ::testing::Test {
protected:
    void TearDown() override { ResetBoth(); }

    // Makes one call on the hook thread and checks what every successful call promises:
    // result 1, error variable untouched. Returns false when that failed.
    bool Apply(const Call& call) {
        DWORD error = kSentinel;
        const int result = hooks_.Run([&] {
            // A stale error lying about must not end up in the caller's variable.
            SetLastError(ERROR_INVALID_HANDLE);
            return call.kind == Call::Mouse
                       ? GlobalDisableMouse(call.value, error, call.allowInjected)
                       : GlobalDisableKeyboard(call.value, call.allowInjected);
        });
        EXPECT_EQ(result, 1) << Describe({call});
        EXPECT_EQ(error, kSentinel) << Describe({call});
        return result == 1 && error == kSentinel;
    }

    void ApplyAll(const std::vector<Call>& calls) {
        for (const Call& call : calls) {
            Apply(call);
        }
    }

    void ResetBoth() { ApplyAll({M(0, FALSE), K(FALSE, FALSE)}); }

    HookThread hooks_;
};

TEST_F(HelperExports, RecorderSeesEveryKindOfSimulatedInputAsInjected) {
    // Without any of Helper's hooks every kind arrives, with the message the probe expects
    // (checked inside Probe) and marked as simulated: the ground the other tests stand on.
    const ProbeResult probe = Probe(hooks_);
    EXPECT_EQ(probe.discardedMouse, kNone);
    EXPECT_EQ(probe.discardedKeys, kNone);

    const ULONG_PTR click = hooktest::SendMouse(MOUSEEVENTF_LEFTDOWN, 0);
    const ULONG_PTR release = hooktest::SendMouse(MOUSEEVENTF_LEFTUP, 0);
    const ULONG_PTR key = hooktest::SendKey('Q', false);
    const ULONG_PTR keyUp = hooktest::SendKey('Q', true);
    hooktest::SendMarker(hooks_);
    for (const ULONG_PTR tag : {click, release}) {
        const auto seen = hooks_.Find(tag);
        ASSERT_TRUE(seen.has_value());
        EXPECT_NE(seen->flags & LLMHF_INJECTED, 0u);
    }
    for (const ULONG_PTR tag : {key, keyUp}) {
        const auto seen = hooks_.Find(tag);
        ASSERT_TRUE(seen.has_value());
        EXPECT_NE(seen->flags & LLKHF_INJECTED, 0u);
    }
}

TEST_F(HelperExports, SuccessfulCallsReturnOneAndLeaveTheErrorVariableAlone) {
    // In order: removals with nothing installed, installs, replacements, removals of
    // installed hooks. Apply checks each result and the error variable.
    const std::vector<Call> calls = {
        M(0, FALSE),    M(0, TRUE),      K(FALSE, FALSE), K(FALSE, TRUE),
        M(0x01, FALSE), M(0x01, FALSE),  M(0x20, TRUE),   M(0xFFFF, FALSE),
        K(TRUE, FALSE), K(TRUE, TRUE),   K(TRUE, TRUE),   M(0x1F, TRUE),
        M(0, FALSE),    K(FALSE, FALSE), M(0, FALSE),     K(FALSE, TRUE),
    };
    for (const Call& call : calls) {
        Apply(call);
    }
}

TEST_F(HelperExports, MouseFilterWordDiscardsExactlyTheKindsItNames) {
    struct Case {
        WORD filter;
        BOOL allowInjected;
        Names discarded;
    };
    const Case cases[] = {
        {0x0000, FALSE, kNone},
        {0x0001, FALSE, kLeft},
        {0x0002, FALSE, kRight},
        {0x0004, FALSE, kMiddle},
        {0x0008, FALSE, {"move"}},
        {0x0010, FALSE, {"wheel"}},
        {0x0003, FALSE, kLeftAndRight},
        {0x001F, FALSE, kEveryFiltered},
        // Bits that name no event still install a hook; it discards nothing.
        {0x0020, FALSE, kNone},
        {0xFFE0, FALSE, kNone},
        {0xFFFF, FALSE, kEveryFiltered},
        // Everything SendInput makes is marked injected, so all of it may pass.
        {0x001F, TRUE, kNone},
        {0xFFFF, TRUE, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "filter 0x" << std::hex << c.filter << " allow " << c.allowInjected);
        if (!Apply(M(c.filter, c.allowInjected))) {
            continue;
        }
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedMouse, c.discarded);
        EXPECT_EQ(probe.discardedKeys, kNone) << "the mouse hook touched keys";
    }
}

TEST_F(HelperExports, StackDepthCountsTheHooksInFrontOfTheRecorder) {
    // The measure the replacement tests rely on: Helper's own hook puts its thread deeper
    // while the event is handed on, by the same amount each time.
    const std::ptrdiff_t bare = Probe(hooks_).markerDepth;
    EXPECT_EQ(bare, 0) << "Helper's hook thread runs with no hook in force";
    ASSERT_TRUE(Apply(M(0x20, FALSE)));
    const std::ptrdiff_t oneHook = Probe(hooks_).markerDepth;
    EXPECT_GT(oneHook, bare);
    EXPECT_EQ(Probe(hooks_).markerDepth, oneHook);
}

TEST_F(HelperExports, WordThatNamesNoEventInstallsAHookThatPassesEverything) {
    const std::ptrdiff_t bare = Probe(hooks_).markerDepth;
    for (const BOOL allow : {FALSE, TRUE}) {
        SCOPED_TRACE(testing::Message() << "allow " << allow);
        ASSERT_TRUE(Apply(M(0x20, allow)));
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedMouse, kNone);
        EXPECT_EQ(probe.discardedKeys, kNone);
        EXPECT_GT(probe.markerDepth, bare) << "no hook in front of the recorder";
        ASSERT_TRUE(Apply(M(0, FALSE)));
        EXPECT_EQ(Probe(hooks_).markerDepth, bare) << "word 0 left a hook behind";
    }
}

TEST_F(HelperExports, RepeatedMouseCallsReplaceTheHook) {
    const std::ptrdiff_t bare = Probe(hooks_).markerDepth;
    ASSERT_TRUE(Apply(M(0x20, FALSE)));
    const std::ptrdiff_t oneHook = Probe(hooks_).markerDepth;
    ASSERT_TRUE(Apply(M(0, FALSE)));

    struct Case {
        std::vector<WORD> filters;
        Names discarded;
        bool hookLeft;
    };
    const Case cases[] = {
        {{0x01}, kLeft, true},
        {{0x01, 0x01}, kLeft, true},
        // A stale first hook would still discard after the removal.
        {{0x01, 0x01, 0}, kNone, false},
        {{0x1F, 0x1F, 0x1F, 0}, kNone, false},
        {{0x01, 0x02}, kRight, true},
        {{0x01, 0x20}, kNone, true},
        {{0, 0x04}, kMiddle, true},
    };
    for (const Case& c : cases) {
        std::vector<Call> calls;
        for (const WORD filter : c.filters) {
            calls.push_back(M(filter, FALSE));
        }
        SCOPED_TRACE(Describe(calls));
        ApplyAll(calls);
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedMouse, c.discarded);
        EXPECT_EQ(probe.markerDepth, c.hookLeft ? oneHook : bare)
            << "hooks in force differ from " << (c.hookLeft ? 1 : 0);
        ResetBoth();
    }
}

TEST_F(HelperExports, RepeatedKeyboardCallsReplaceTheHook) {
    const auto bare = Probe(hooks_).keyDepth;
    ASSERT_TRUE(bare.has_value());
    ASSERT_TRUE(Apply(K(TRUE, TRUE)));
    const auto oneHook = Probe(hooks_).keyDepth;
    ASSERT_TRUE(oneHook.has_value());
    EXPECT_GT(*oneHook, *bare);
    ResetBoth();

    struct Case {
        std::vector<Call> calls;
        bool keysPass;
        bool hookLeft;
    };
    const Case cases[] = {
        {{K(TRUE, FALSE), K(TRUE, FALSE)}, false, true},
        {{K(TRUE, FALSE), K(TRUE, FALSE), K(FALSE, FALSE)}, true, false},
        {{K(TRUE, TRUE), K(TRUE, TRUE)}, true, true},
        {{K(TRUE, TRUE), K(TRUE, TRUE), K(TRUE, TRUE)}, true, true},
        {{K(TRUE, TRUE), K(TRUE, TRUE), K(FALSE, TRUE)}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.calls));
        ApplyAll(c.calls);
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedKeys, c.keysPass ? kNone : hooktest::AllKeyKindNames());
        EXPECT_EQ(probe.discardedMouse, kNone) << "the keyboard hook touched the mouse";
        if (c.keysPass) {
            EXPECT_EQ(probe.keyDepth, c.hookLeft ? oneHook : bare)
                << "hooks in force differ from " << (c.hookLeft ? 1 : 0);
        }
        ResetBoth();
    }
}

TEST_F(HelperExports, LastCallOfEitherExportSetsPassInjectedForBothHooks) {
    struct Case {
        std::vector<Call> calls;
        bool keysPass;
        Names discardedMouse;
    };
    const Case cases[] = {
        {{K(TRUE, TRUE)}, true, kNone},
        {{K(TRUE, FALSE)}, false, kNone},
        {{K(TRUE, TRUE), M(0x01, FALSE)}, false, kLeft},
        // A mouse call that only removes sets the flag all the same.
        {{K(TRUE, TRUE), M(0, FALSE)}, false, kNone},
        {{K(TRUE, FALSE), M(0, TRUE)}, true, kNone},
        {{M(0x01, TRUE), K(FALSE, FALSE)}, true, kLeft},
        {{M(0x1F, FALSE), K(TRUE, TRUE)}, true, kNone},
        {{M(0x1F, TRUE), K(TRUE, FALSE)}, false, kEveryFiltered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.calls));
        ApplyAll(c.calls);
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedKeys, c.keysPass ? kNone : hooktest::AllKeyKindNames());
        EXPECT_EQ(probe.discardedMouse, c.discardedMouse);
        ResetBoth();
    }
}

TEST_F(HelperExports, KeyboardAndMouseHooksComeAndGoIndependently) {
    // One run of calls; after each, what must be in force.
    struct Step {
        Call call;
        bool keysPass;
        Names discardedMouse;
    };
    const Step steps[] = {
        {K(TRUE, FALSE), false, kNone},
        {M(0x1F, FALSE), false, kEveryFiltered},
        {K(FALSE, FALSE), true, kEveryFiltered},
        {K(TRUE, FALSE), false, kEveryFiltered},
        {M(0, FALSE), false, kNone},
        {M(0x02, FALSE), false, kRight},
        {K(FALSE, FALSE), true, kRight},
        {M(0, FALSE), true, kNone},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(Describe({step.call}));
        ASSERT_TRUE(Apply(step.call));
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedKeys, step.keysPass ? kNone : hooktest::AllKeyKindNames());
        EXPECT_EQ(probe.discardedMouse, step.discardedMouse);
    }
}

// The keyboard export's widened words: a timed lock holds every kind, simulated input too,
// keeps calls meanwhile for its end, and ends by itself on the library's thread (the caller's
// thread here is not asked for anything); an unlock ends it at once; the chord's act lets go
// of all blocking and brings it back.
TEST_F(HelperExports, TimedLockHoldsEverythingAndGivesBackWhatWasAsked) {
    const auto keyboard = [&](std::int32_t word) {
        return hooks_.Run([&] { return GlobalDisableKeyboard(word, FALSE); });
    };
    const auto expect = [&](bool keysPass, const Names& discardedMouse) {
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedKeys, keysPass ? kNone : hooktest::AllKeyKindNames());
        EXPECT_EQ(probe.discardedMouse, discardedMouse);
    };
    ASSERT_TRUE(Apply(M(0x02, TRUE)));
    ASSERT_EQ(keyboard(LockWord(1)), 1);
    expect(false, kEveryFiltered);
    ASSERT_TRUE(Apply(M(0x01, FALSE))); // kept for the end
    expect(false, kEveryFiltered);
    const auto deadline = std::chrono::steady_clock::now() + hooktest::kDeadline;
    while (!Probe(hooks_).discardedKeys.empty() && std::chrono::steady_clock::now() < deadline) {
    }
    expect(true, kLeft);

    ASSERT_EQ(keyboard(LockWord(60)), 1);
    expect(false, kEveryFiltered);
    ASSERT_EQ(keyboard(LockWord(0)), 1);
    expect(true, kLeft);

    ASSERT_EQ(keyboard(ChordWord(true)), 1);
    expect(true, kNone);
    ASSERT_EQ(keyboard(ChordWord(false)), 1);
    expect(true, kLeft);
}

#ifdef QUELVANT_INSTALL_SEAM
// The seam of the test build of Helper.dll: the next install fails with this error.
extern "C" __declspec(dllimport) void HelperFailNextInstall(DWORD error) noexcept;

TEST_F(HelperExports, FailedInstallLeavesThePreviousBlockingInForce) {
    constexpr DWORD kPlanned = ERROR_NOT_ENOUGH_MEMORY;
    struct Case {
        std::vector<Call> before;
        Call failing;
        bool keysPass;
        Names discardedMouse;
    };
    const Case cases[] = {
        // The old filter and flag stay: right clicks pass, simulated keys are still discarded.
        {{M(0x01, FALSE), K(TRUE, FALSE)}, M(0x02, TRUE), false, kLeft},
        {{M(0x01, FALSE), K(TRUE, FALSE)}, K(TRUE, TRUE), false, kLeft},
        // The flag stays on for both hooks, whichever kind failed.
        {{M(0x1F, TRUE), K(TRUE, TRUE)}, M(0x01, FALSE), true, kNone},
        {{M(0x1F, TRUE), K(TRUE, TRUE)}, K(TRUE, FALSE), true, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.before) + "then failing " + Describe({c.failing}));
        ApplyAll(c.before);
        DWORD error = kSentinel;
        const int result = hooks_.Run([&] {
            HelperFailNextInstall(kPlanned);
            return c.failing.kind == Call::Mouse
                       ? GlobalDisableMouse(c.failing.value, error, c.failing.allowInjected)
                       : GlobalDisableKeyboard(c.failing.value, c.failing.allowInjected);
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(error, c.failing.kind == Call::Mouse ? kPlanned : kSentinel);
        const ProbeResult probe = Probe(hooks_);
        EXPECT_EQ(probe.discardedKeys, c.keysPass ? kNone : hooktest::AllKeyKindNames());
        EXPECT_EQ(probe.discardedMouse, c.discardedMouse);
        ResetBoth();
    }
    // The seam fails one install only: the same call goes through afterwards.
    ASSERT_TRUE(Apply(M(0x02, FALSE)));
    EXPECT_EQ(Probe(hooks_).discardedMouse, kRight);
}
#endif

// The current desktop once more, but without DESKTOP_HOOKCONTROL: a thread that uses it
// cannot install hooks, the documented way for SetWindowsHookExW to fail.
UniqueDesktop OpenDesktopWithoutHookRights() {
    wchar_t name[256] = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name,
                                   sizeof name, &needed)) {
        return {};
    }
    constexpr ACCESS_MASK kAllButHooks = DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS |
                                         DESKTOP_CREATEWINDOW | DESKTOP_CREATEMENU |
                                         DESKTOP_ENUMERATE;
    return UniqueDesktop(OpenDesktopW(name, 0, FALSE, kAllButHooks));
}

LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(HelperExports, FailedInstallReturnsZeroAndHandsOverThePlatformError) {
    const UniqueDesktop desktop = OpenDesktopWithoutHookRights();
    ASSERT_TRUE(desktop) << "OpenDesktopW: error " << GetLastError();

    std::packaged_task<void()> job([&] {
        // A thread can change its desktop only before it has a message queue.
        ASSERT_TRUE(SetThreadDesktop(desktop.Get())) << "error " << GetLastError();

        SetLastError(ERROR_SUCCESS);
        const UniqueHook direct(
            SetWindowsHookExW(WH_MOUSE_LL, &PassOn, GetModuleHandleW(nullptr), 0));
        const DWORD platformError = GetLastError();
        ASSERT_FALSE(direct) << "this thread can install hooks after all";
        ASSERT_EQ(platformError, static_cast<DWORD>(ERROR_ACCESS_DENIED));

        struct Case {
            WORD filter;
            BOOL allowInjected;
        };
        for (const Case c :
             {Case{0x01, FALSE}, Case{0x1F, TRUE}, Case{0x20, FALSE}, Case{0xFFFF, TRUE}}) {
            SCOPED_TRACE(testing::Message() << "filter 0x" << std::hex << c.filter);
            DWORD error = kSentinel;
            SetLastError(ERROR_INVALID_HANDLE);
            EXPECT_EQ(GlobalDisableMouse(c.filter, error, c.allowInjected), 0);
            EXPECT_EQ(error, platformError);
        }
        // Word 0 installs nothing, so nothing can fail.
        DWORD error = kSentinel;
        EXPECT_EQ(GlobalDisableMouse(0, error, FALSE), 1);
        EXPECT_EQ(error, kSentinel);

        EXPECT_EQ(GlobalDisableKeyboard(TRUE, FALSE), 0);
        EXPECT_EQ(GlobalDisableKeyboard(TRUE, TRUE), 0);
        EXPECT_EQ(GlobalDisableKeyboard(FALSE, FALSE), 1);
    });
    std::future<void> done = job.get_future();
    std::thread worker(std::move(job));
    const bool finished = done.wait_for(hooktest::kDeadline) == std::future_status::ready;
    if (!finished) {
        // The worker still refers to this frame; nothing sound is left but to stop.
        std::fputs("the restricted thread did not finish in time\n", stderr);
        std::abort();
    }
    worker.join();
    done.get();

    // Nothing of the failed calls is left in force: all input reaches the recorder.
    const ProbeResult probe = Probe(hooks_);
    EXPECT_EQ(probe.discardedMouse, kNone);
    EXPECT_EQ(probe.discardedKeys, kNone);
}

} // namespace
