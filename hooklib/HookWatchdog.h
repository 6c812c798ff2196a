// How the hook library tells a hook that the system dropped from a quiet or busy desktop.
// Platform-free: the Windows layer gathers the facts of each short interval, this decides.
#pragma once

#include <cstddef>

// What happened during one interval of the watchdog.
struct HookActivity {
    bool passed = false;    // the system's last-input time moved: some input got through
    bool mouseSeen = false; // the mouse hook was called
    bool keySeen = false;   // the keyboard hook was called
    bool keyTyped = false;  // the raw-input sink saw a key, discarded or not
};

struct WatchdogVerdict {
    bool mouseDropped = false;
    bool keyboardDropped = false;
};

// recent[0] is the interval just ended, recent[1] the one before, recent[2] the one before
// that. The interval judged is recent[1]: a hook call and the input it belongs to may fall on
// either side of an interval's end, so each side gets one interval of grace.
constexpr WatchdogVerdict JudgeHooks(const HookActivity (&recent)[3], bool mouseHook,
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
    // Input got through that no hook saw and no key explains: the mouse, unseen by its hook.
    verdict.mouseDropped = mouseHook && recent[1].passed && !mouseSeen && !keySeen && !keyTyped;
    // Keys were typed and got through, yet the keyboard hook saw none of them.
    verdict.keyboardDropped =
        keyboardHook && recent[1].keyTyped && (recent[1].passed || recent[0].passed) && !keySeen;
    return verdict;
}
