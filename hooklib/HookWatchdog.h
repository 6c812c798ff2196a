// How the hook library tells a hook that the system dropped from a quiet or busy desktop.
// Platform-free: the Windows layer gathers the facts of each short interval, this decides.
#pragma once

#include <cstdint>

// What happened during one interval of the watchdog.
struct HookActivity {
    bool passed = false;       // the system's last-input time moved: some input got through
    bool mouseSeen = false;    // the mouse hook was called
    bool keySeen = false;      // the keyboard hook was called
    bool keyTyped = false;     // the raw-input sink saw a key, discarded or not
    bool pointerMoved = false; // the pointer stood elsewhere at the interval's end
};

struct WatchdogVerdict {
    bool mouseDropped = false;
    bool keyboardDropped = false;

    constexpr bool Any() const noexcept { return mouseDropped || keyboardDropped; }
};

// What the watchdog remembers from tick to tick: a hook it installed anew and has not seen
// called since. Should such a hook look dropped again, the re-install cured nothing.
struct WatchdogMemory {
    bool mouseRetried = false;
    bool keyboardRetried = false;
};

// recent[0] is the interval just ended, recent[1] the one before, recent[2] the one before
// that. The interval judged is recent[1]: a hook call and the input it belongs to may fall on
// either side of an interval's end, so each side gets one interval of grace.
constexpr WatchdogVerdict SuspectHooks(const HookActivity (&recent)[3], bool mouseHook,
                                       bool keyboardHook) noexcept {
    bool mouseSeen = false;
    bool keySeen = false;
    bool keyTyped = false;
    for (const HookActivity& interval : recent) {
        mouseSeen = mouseSeen || interval.mouseSeen;
        keySeen = keySeen || interval.keySeen;
        keyTyped = keyTyped || interval.keyTyped;
    }
    WatchdogVerdict verdict;
    // Input got through that no hook saw: the mouse, unseen by its hook, when the pointer moved
    // or no key explains it.
    verdict.mouseDropped = mouseHook && recent[1].passed && !mouseSeen &&
                           (recent[1].pointerMoved || (!keySeen && !keyTyped));
    // Keys were typed and got through, yet the keyboard hook saw none of them.
    verdict.keyboardDropped =
        keyboardHook && recent[1].keyTyped && (recent[1].passed || recent[0].passed) && !keySeen;
    return verdict;
}

// Which suspects to install anew. A hook installed anew that still sees nothing of the input
// that passes is left in peace until it is seen again: input that never passes a low-level
// hook (precision-touchpad gestures, pen and touch taken as pointer input, input to a window
// of a program running as administrator) would otherwise cost a re-install every interval.
constexpr WatchdogVerdict ConfirmDrops(WatchdogVerdict suspects, const HookActivity (&recent)[3],
                                       WatchdogMemory& memory) noexcept {
    for (const HookActivity& interval : recent) {
        memory.mouseRetried = memory.mouseRetried && !interval.mouseSeen;
        memory.keyboardRetried = memory.keyboardRetried && !interval.keySeen;
    }
    const WatchdogVerdict verdict{suspects.mouseDropped && !memory.mouseRetried,
                                  suspects.keyboardDropped && !memory.keyboardRetried};
    memory.mouseRetried = memory.mouseRetried || verdict.mouseDropped;
    memory.keyboardRetried = memory.keyboardRetried || verdict.keyboardDropped;
    return verdict;
}

// An interval in which nothing at all happened: no input passed, no hook was called, no key
// was typed.
constexpr bool Quiet(const HookActivity& interval) noexcept {
    return !interval.passed && !interval.mouseSeen && !interval.keySeen && !interval.keyTyped;
}

// The watchdog's pace: short intervals while anything happens. Once every interval it judges
// from was quiet it looks only now and then: the system drops a hook only for a call that
// overran, so never while nothing happens. A key typed after a quiet spell brings the short
// intervals back at once (the raw-input sink), other input that passed at the next look, so
// that input a dropped hook lets through goes unseen for at most a look and an interval.
constexpr std::uint32_t kActivePeriodMs = 250;
constexpr std::uint32_t kRestPeriodMs = 1500;

constexpr std::uint32_t NextPeriodMs(const HookActivity (&recent)[3]) noexcept {
    for (const HookActivity& interval : recent) {
        if (!Quiet(interval)) {
            return kActivePeriodMs;
        }
    }
    return kRestPeriodMs;
}

// Where the pointer stood at an interval's end is asked only for an interval in which input
// passed: only such an interval is judged by it, and while no input passes the pointer stays
// where the last read found it.
constexpr bool PointerReadNeeded(const HookActivity& justEnded) noexcept {
    return justEnded.passed;
}

// ERROR_INVALID_HOOK_HANDLE: what removing a hook says when the system had removed it first.
constexpr std::uint32_t kHookAlreadyGone = 1404;

// A suspicion is only that; the proof comes when the old hook is removed after its fresh one
// is in force: only a hook the system really dropped fails with kHookAlreadyGone. reinstalled
// names the suspects installed anew, the errors are those of removing their old hooks (0 when
// that worked). What is proved is announced, except a keyboard hook that blocked no keys: it
// only watched for the chord, and no blocking lapsed with it.
constexpr WatchdogVerdict ProvedDrops(WatchdogVerdict reinstalled, std::uint32_t mouseUnhookError,
                                      std::uint32_t keyboardUnhookError,
                                      bool keysBlocked) noexcept {
    return {reinstalled.mouseDropped && mouseUnhookError == kHookAlreadyGone,
            reinstalled.keyboardDropped && keysBlocked && keyboardUnhookError == kHookAlreadyGone};
}
