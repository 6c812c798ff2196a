// The release chord, Ctrl+Alt+Shift+Q, as the keyboard hook recognises it from the user's own
// keys. Platform-free: no <windows.h>, checked natively under the sanitizers.
//
// The hook cannot ask the system which keys are down: keys it discards never reach the
// system's key state. So it keeps its own record, fed by every real key event it sees.
#pragma once

#include <cstdint>

// Keys by their virtual-key codes, as a low-level keyboard hook reports them.
constexpr std::uint32_t kChordKey = 0x51; // Q
constexpr std::uint32_t kChordModifiers[3][3] = {
    {0x11, 0xA2, 0xA3}, // Ctrl: either, left, right
    {0x12, 0xA4, 0xA5}, // Alt
    {0x10, 0xA0, 0xA1}, // Shift
};

// LLKHF_INJECTED and LLKHF_LOWER_IL_INJECTED: a program's keys, never the user's.
constexpr std::uint32_t kInjectedKeyFlags = 0x10 | 0x02;

// A key counts as held only while it keeps coming: a key really held repeats within a second
// on every keyboard, while a key whose release went where no hook of ours could see it (the
// secure desktop, a lock) would otherwise bar the chord for good, or, for Q, make its next
// real press look like auto-repeat. The chord's modifiers get longer, since repeat may be
// switched off for the user, yet not for ever: Ctrl and Alt of Ctrl+Alt+Del are let go on the
// secure desktop, unseen.
constexpr std::uint32_t kHeldWithoutRepeatMs = 1500;
constexpr std::uint32_t kModifierHeldWithoutRepeatMs = 10000;

// With the system's Sticky Keys on, a modifier pressed and let go counts for the chord's Q for
// this long, as the system latches it for the next key.
constexpr std::uint32_t kStickyTapMs = 5000;

class ReleaseChord {
public:
    // Feeds one key event; true when it is the press that completes the chord. Presses while
    // the key is already down (auto-repeat) and simulated keys never complete it.
    constexpr bool Feed(std::uint32_t vk, bool up, std::uint32_t flags,
                        std::uint32_t time) noexcept {
        if ((flags & kInjectedKeyFlags) != 0) {
            return false;
        }
        vk &= 0xFF;
        std::uint64_t& word = down_[vk / 64];
        const std::uint64_t bit = std::uint64_t{1} << (vk % 64);
        const int modifier = ModifierOf(vk);
        if (up) {
            if (modifier >= 0 && (word & bit) != 0) {
                tappedAt_[modifier] = time;
                tapped_ |= 1u << modifier;
            }
            word &= ~bit;
            return false;
        }
        const bool repeat = HeldSince(vk, time, HeldBound(vk));
        word |= bit;
        lastPress_[vk] = time;
        if (vk != kChordKey) {
            if (modifier < 0) {
                tapped_ = 0; // the system hands latched modifiers to this key, not to a later Q
            }
            return false;
        }
        if (repeat) {
            return false;
        }
        const bool fires = ModifiersHeldOrTapped(time) && NoOtherKeyHeld(time);
        tapped_ = 0;
        return fires;
    }

    // Forgets every key: the hook is new, or it may have missed releases.
    constexpr void Clear() noexcept {
        for (std::uint64_t& word : down_) {
            word = 0;
        }
        tapped_ = 0;
    }

    // The system's Sticky Keys: while on, taps of the modifiers count; while off they do not.
    constexpr void SetStickyKeys(bool on) noexcept { stickyKeys_ = on; }

    constexpr bool IsDown(std::uint32_t vk) const noexcept {
        return (down_[(vk & 0xFF) / 64] >> (vk % 64) & 1) != 0;
    }

    // Whether the user holds a key that would join a combination the library sends: Ctrl, Alt,
    // Shift or Win, counted as the chord counts its modifiers. Keys the hook discards are
    // known only here: they never reach the system's key state.
    constexpr bool ModifierHeld(std::uint32_t now) const noexcept {
        constexpr std::uint32_t kWin[] = {0x5B, 0x5C};
        for (const auto& modifier : kChordModifiers) {
            for (const std::uint32_t vk : modifier) {
                if (HeldAt(vk, now)) {
                    return true;
                }
            }
        }
        return HeldAt(kWin[0], now) || HeldAt(kWin[1], now);
    }

private:
    // Which of the chord's modifiers a key is (0 Ctrl, 1 Alt, 2 Shift), or -1.
    static constexpr int ModifierOf(std::uint32_t vk) noexcept {
        for (int modifier = 0; modifier < 3; ++modifier) {
            for (const std::uint32_t code : kChordModifiers[modifier]) {
                if (vk == code) {
                    return modifier;
                }
            }
        }
        return -1;
    }

    static constexpr std::uint32_t HeldBound(std::uint32_t vk) noexcept {
        return ModifierOf(vk) >= 0 ? kModifierHeldWithoutRepeatMs : kHeldWithoutRepeatMs;
    }

    constexpr bool HeldSince(std::uint32_t vk, std::uint32_t now,
                             std::uint32_t bound) const noexcept {
        return IsDown(vk) && now - lastPress_[vk] <= bound;
    }

    // A press stamped after `now` (clocks read a moment apart) counts as fresh.
    constexpr bool HeldAt(std::uint32_t vk, std::uint32_t now) const noexcept {
        const auto age = static_cast<std::int32_t>(now - lastPress_[vk]);
        return IsDown(vk) && age <= static_cast<std::int32_t>(kModifierHeldWithoutRepeatMs);
    }

    constexpr bool ModifiersHeldOrTapped(std::uint32_t now) const noexcept {
        for (int modifier = 0; modifier < 3; ++modifier) {
            bool held = stickyKeys_ && (tapped_ >> modifier & 1u) != 0 &&
                        now - tappedAt_[modifier] <= kStickyTapMs;
            for (const std::uint32_t vk : kChordModifiers[modifier]) {
                held = held || HeldSince(vk, now, kModifierHeldWithoutRepeatMs);
            }
            if (!held) {
                return false;
            }
        }
        return true;
    }

    // Runs only for a fresh press of Q, so the scan costs nothing on ordinary keys.
    constexpr bool NoOtherKeyHeld(std::uint32_t now) const noexcept {
        for (std::uint32_t vk = 0; vk < 256; ++vk) {
            if (vk != kChordKey && ModifierOf(vk) < 0 && HeldSince(vk, now, kHeldWithoutRepeatMs)) {
                return false;
            }
        }
        return true;
    }

    std::uint64_t down_[4]{};
    std::uint32_t lastPress_[256]{};
    std::uint32_t tappedAt_[3]{};
    unsigned tapped_ = 0; // one bit per modifier let go since the last other key
    bool stickyKeys_ = false;
};

// The chord's whole state, on the hook thread: its record, and what it did to the blocking.
struct ChordState {
    ReleaseChord record;
    bool released = false;   // both hooks let everything through
    bool toggled = false;    // the chord acted: the hook thread tells the caller after the call
    bool ownKeyDown = false; // the Q that completed the chord is still down
    bool locked = false;     // a timed lock is in force: the chord ends it instead of toggling
    bool endsLock = false;   // with toggled: this act ended the lock

    // Feeds one key event; true when the hook is to swallow it: the press that completes the
    // chord, which toggles the release (or ends a timed lock), and the release of that same Q. So
    // the chord's Q reaches no program, whether keys are blocked or not.
    constexpr bool Swallows(std::uint32_t vk, bool up, std::uint32_t flags,
                            std::uint32_t time) noexcept {
        const bool ownRelease =
            up && ownKeyDown && (vk & 0xFF) == kChordKey && (flags & kInjectedKeyFlags) == 0;
        if (!record.Feed(vk, up, flags, time)) {
            ownKeyDown = ownKeyDown && !ownRelease;
            return ownRelease;
        }
        if (locked) {
            endsLock = true;
        } else {
            released = !released;
        }
        toggled = true;
        ownKeyDown = true;
        return true;
    }
};
