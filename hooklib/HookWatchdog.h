// How the hook library tells a hook that the system dropped from a quiet or busy desktop.
// Platform-free: the Windows layer gathers the facts of each short interval, this decides.
#pragma once

#include <cstddef>

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

// Where input may have gone that no hook of an ordinary process sees. Gathered only when the
// intervals point at a dropped hook.
struct HookReach {
    // The foreground window's process has a token we may not read or a higher integrity than
    // ours, and we lack user-interface access.
    bool foregroundOutOfReach = false;
    bool foreignDesktop = false; // the input desktop is not the hooks' own (sign-in, UAC)
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

// Which suspects to install anew and announce. Input that went where no hook of ours can see
// proves nothing; a hook installed anew that still sees nothing of the input that passes is
// left in peace until it is seen again, so that no situation can raise a stream of alarms.
constexpr WatchdogVerdict ConfirmDrops(WatchdogVerdict suspects, const HookActivity (&recent)[3],
                                       const HookReach& reach, WatchdogMemory& memory) noexcept {
    for (const HookActivity& interval : recent) {
        memory.mouseRetried = memory.mouseRetried && !interval.mouseSeen;
        memory.keyboardRetried = memory.keyboardRetried && !interval.keySeen;
    }
    if (reach.foregroundOutOfReach || reach.foreignDesktop) {
        return {};
    }
    const WatchdogVerdict verdict{suspects.mouseDropped && !memory.mouseRetried,
                                  suspects.keyboardDropped && !memory.keyboardRetried};
    memory.mouseRetried = memory.mouseRetried || verdict.mouseDropped;
    memory.keyboardRetried = memory.keyboardRetried || verdict.keyboardDropped;
    return verdict;
}
