// Pass-or-discard decisions of the input hooks. Platform-free: no <windows.h>, so the same
// rules are compiled into Helper.dll and checked natively under the sanitizers.
#pragma once

#include <cstdint>

// Mouse filter word: one bit per kind of mouse event to discard. Bits 5-15 are carried
// and stored but name no event.
constexpr std::uint16_t MOUSE_FILTER_LEFT = 0x01;
constexpr std::uint16_t MOUSE_FILTER_RIGHT = 0x02;
constexpr std::uint16_t MOUSE_FILTER_MIDDLE = 0x04;
constexpr std::uint16_t MOUSE_FILTER_MOVE = 0x08;
constexpr std::uint16_t MOUSE_FILTER_WHEEL = 0x10;

// Low-level keyboard flag that marks a simulated key.
constexpr std::uint32_t KEYBOARD_FLAG_INJECTED = 0x10;

// The filter bit that discards each message from WM_MOUSEMOVE (0x200) to WM_MOUSEWHEEL
// (0x20A). Everything outside that range, the horizontal wheel (0x20E) and the extra buttons
// (0x20B-0x20D) among it, is never discarded.
constexpr std::uintptr_t kFirstFilteredMessage = 0x200;
constexpr std::uint16_t kMessageFilterBits[] = {
    MOUSE_FILTER_MOVE,                                             // 0x200 WM_MOUSEMOVE
    MOUSE_FILTER_LEFT,   MOUSE_FILTER_LEFT,   MOUSE_FILTER_LEFT,   // 0x201-0x203
    MOUSE_FILTER_RIGHT,  MOUSE_FILTER_RIGHT,  MOUSE_FILTER_RIGHT,  // 0x204-0x206
    MOUSE_FILTER_MIDDLE, MOUSE_FILTER_MIDDLE, MOUSE_FILTER_MIDDLE, // 0x207-0x209
    MOUSE_FILTER_WHEEL,                                            // 0x20A WM_MOUSEWHEEL
};

// Mouse input that the system makes from a touch or a pen stroke carries this mark in the
// event's extra information (bit 0x80 set for touch, clear for pen). Only the low 32 bits count.
constexpr std::uintptr_t kTouchPenMask = 0xFFFFFF00;
constexpr std::uintptr_t kTouchPenSignature = 0xFF515700;

constexpr bool IsTouchOrPen(std::uintptr_t extraInfo) noexcept {
    return (extraInfo & kTouchPenMask) == kTouchPenSignature;
}

// The library's own simulated keys (the touchpad's toggle) carry a mark in the event's extra
// information; with the injected flag they pass every state of the hooks and count for no
// chord. The mark is drawn at random for each process, so that no other program can know it and
// send keys past the blocking; none (0) is ever a mark.
constexpr bool IsOwnKey(std::uintptr_t extraInfo, std::uint32_t flags,
                        std::uintptr_t mark) noexcept {
    return mark != 0 && (flags & KEYBOARD_FLAG_INJECTED) != 0 && extraInfo == mark;
}

// Every program's hook sees the mark, so a program could copy it. The library's own keys are
// therefore its own only while its SendInput call hands them over: a low-level hook is called
// on the thread that installed it, and for keys that thread sends, within that call, one after
// the other. A marked key counts only while it is the next of the keys in that call.
struct OwnKeysInFlight {
    static constexpr unsigned kCapacity = 6;
    std::uint32_t vk[kCapacity]{};
    bool up[kCapacity]{};
    unsigned count = 0; // 0: no call of ours is under way
    unsigned next = 0;

    // True for the key that is next, which is then taken.
    constexpr bool Take(std::uintptr_t extraInfo, std::uint32_t flags, std::uintptr_t mark,
                        std::uint32_t key, bool release) noexcept {
        if (next >= count || !IsOwnKey(extraInfo, flags, mark) || vk[next] != key ||
            up[next] != release) {
            return false;
        }
        ++next;
        return true;
    }
};

// A mark from random bits: never 0, and never a small number that programs commonly pass.
constexpr std::uintptr_t OwnInputMarkFrom(std::uint64_t random) noexcept {
    return static_cast<std::uintptr_t>(random | (std::uint64_t{1} << 62));
}

// True passes the event on, false discards it. The message id is the hook's wParam and is
// compared in full, so 0x10201 is not taken for WM_LBUTTONDOWN. The extra information is taken
// by reference and read only for an event that simulated input would let through.
constexpr bool ShouldPassMouseEvent(std::uint16_t wFilter, std::int32_t bPassInjected,
                                    std::uintptr_t message, std::uint32_t flags,
                                    const std::uintptr_t& extraInfo) noexcept {
    // Any non-zero flags value counts as simulated: injected and lower-integrity injected.
    // Touch and pen may come flagged so, yet they are the user's own hand.
    if (bPassInjected != 0 && flags != 0 && !IsTouchOrPen(extraInfo)) {
        return true;
    }
    // One table lookup instead of a chain of comparisons: this runs for every pointer move.
    const std::uintptr_t index = message - kFirstFilteredMessage;
    if (index >= sizeof(kMessageFilterBits) / sizeof(kMessageFilterBits[0])) {
        return true;
    }
    return (wFilter & kMessageFilterBits[index]) == 0;
}

// Every key is discarded unless the platform says the hook must hand it on (nCode < 0) or it
// is a simulated key and simulated input is allowed. Only the injected bit counts here.
constexpr bool ShouldPassKeyboardEvent(std::int32_t bPassInjected, int nCode,
                                       std::uint32_t flags) noexcept {
    return nCode < 0 || (bPassInjected != 0 && (flags & KEYBOARD_FLAG_INJECTED) != 0);
}

// A release that the rules above discard is let through after all while the system still
// counts its key or button as down: its press came before blocking began, and discarding the
// release would leave it held for every program. Only releases are looked at, so moves,
// presses and the wheel cost nothing more.
enum class ReleasedButton : std::uint8_t { None, Left, Right, Middle };

constexpr ReleasedButton ButtonReleasedBy(std::uintptr_t message) noexcept {
    switch (message) {
    case 0x202: // WM_LBUTTONUP
        return ReleasedButton::Left;
    case 0x205: // WM_RBUTTONUP
        return ReleasedButton::Right;
    case 0x208: // WM_MBUTTONUP
        return ReleasedButton::Middle;
    default:
        return ReleasedButton::None;
    }
}

// WM_KEYUP and WM_SYSKEYUP.
constexpr bool IsKeyRelease(std::uintptr_t message) noexcept {
    return message == 0x101 || message == 0x105;
}

// What a hook procedure does with an event beyond the rules above: blocking released by the
// chord, keys only watched for the chord, and releases that must not be lost.
enum class EventVerdict : std::uint8_t { Discard, Pass, PassIfStillDown };

// released: the chord let go of all blocking, so every mouse event passes.
constexpr EventVerdict DecideMouseEvent(bool released, int nCode, std::uint16_t wFilter,
                                        std::int32_t bPassInjected, std::uintptr_t message,
                                        std::uint32_t flags,
                                        const std::uintptr_t& extraInfo) noexcept {
    if (nCode < 0 || released ||
        ShouldPassMouseEvent(wFilter, bPassInjected, message, flags, extraInfo)) {
        return EventVerdict::Pass;
    }
    return ButtonReleasedBy(message) != ReleasedButton::None ? EventVerdict::PassIfStillDown
                                                             : EventVerdict::Discard;
}

// What the keyboard hook is there for at the moment.
enum class KeyboardMode : std::uint8_t {
    Watching, // no keys are blocked: it only watches for the release chord
    Blocking, // keyboard blocking is in force
    Released, // keyboard blocking is in force, but the chord let go of it
};

// Watching passes every key. Blocking discards what the rules above discard; released passes
// every press. Either way a release whose press the system never saw is kept back, so that no
// program gets half a key stroke, and one whose press it saw passes, so that nothing stays held.
constexpr EventVerdict DecideKeyboardEvent(KeyboardMode mode, std::int32_t bPassInjected, int nCode,
                                           std::uint32_t flags, std::uintptr_t message) noexcept {
    const bool blocking = mode == KeyboardMode::Blocking;
    if (mode == KeyboardMode::Watching || nCode < 0 ||
        (blocking && ShouldPassKeyboardEvent(bPassInjected, nCode, flags))) {
        return EventVerdict::Pass;
    }
    if (IsKeyRelease(message)) {
        return EventVerdict::PassIfStillDown;
    }
    return blocking ? EventVerdict::Discard : EventVerdict::Pass;
}
