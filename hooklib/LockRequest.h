// What the keyboard export carries beyond a plain BOOL: the timed lock and the release chord's
// act asked for by the caller, as flag bits that no caller sets by chance (TRUE is 1).
// Platform-free: the core composes these words, the library decodes them.
#pragma once

#include <cstdint>

// GlobalDisableKeyboard(HELPER_KEYBOARD_LOCK | seconds, ...): every key and every mouse kind
// blocked for that many seconds (at most HELPER_LOCK_SECONDS_MASK), simulated input included;
// the blocking asked before and during the lock comes back by itself at its end, on the
// library's own thread. A second lock sets a new end; 0 seconds ends a lock now.
constexpr std::int32_t HELPER_KEYBOARD_LOCK = 0x40000000;
constexpr std::int32_t HELPER_LOCK_SECONDS_MASK = 0xFFFF;
// GlobalDisableKeyboard(HELPER_KEYBOARD_CHORD | 1, ...): what the release chord does, asked
// for: 1 lets go of all blocking, 0 brings it back. During a lock, letting go ends the lock.
constexpr std::int32_t HELPER_KEYBOARD_CHORD = 0x20000000;

enum class KeyboardAct : std::uint8_t { Plain, Lock, Unlock, Release, Restore };

struct KeyboardWord {
    KeyboardAct act = KeyboardAct::Plain;
    std::uint32_t seconds = 0; // for Lock
};

constexpr KeyboardWord DecodeKeyboardWord(std::int32_t word) noexcept {
    if ((word & HELPER_KEYBOARD_LOCK) != 0) {
        const auto seconds = static_cast<std::uint32_t>(word & HELPER_LOCK_SECONDS_MASK);
        return {seconds != 0 ? KeyboardAct::Lock : KeyboardAct::Unlock, seconds};
    }
    if ((word & HELPER_KEYBOARD_CHORD) != 0) {
        return {(word & 1) != 0 ? KeyboardAct::Release : KeyboardAct::Restore, 0};
    }
    return {};
}

constexpr std::int32_t LockWord(std::uint32_t seconds) noexcept {
    return HELPER_KEYBOARD_LOCK |
           static_cast<std::int32_t>(seconds &
                                     static_cast<std::uint32_t>(HELPER_LOCK_SECONDS_MASK));
}

constexpr std::int32_t ChordWord(bool release) noexcept {
    return HELPER_KEYBOARD_CHORD | (release ? 1 : 0);
}
