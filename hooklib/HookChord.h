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

// A key other than the chord's counts as held only while it keeps coming: a key really held
// repeats within a second on every keyboard, while a key whose release went where no hook of
// ours could see it (the secure desktop, a lock) would otherwise bar the chord for good.
// The chord's own modifiers get longer, since repeat may be switched off for the user, yet
// not for ever: Ctrl and Alt of Ctrl+Alt+Del are let go on the secure desktop, unseen.
constexpr std::uint32_t kHeldWithoutRepeatMs = 1500;
constexpr std::uint32_t kModifierHeldWithoutRepeatMs = 10000;

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
        if (up) {
            word &= ~bit;
            return false;
        }
        const bool repeat = (word & bit) != 0;
        word |= bit;
        lastPress_[vk] = time;
        return vk == kChordKey && !repeat && ModifiersHeld(time) && NoOtherKeyHeld(time);
    }

    // Forgets every key: the hook is new, or it may have missed releases.
    constexpr void Clear() noexcept {
        for (std::uint64_t& word : down_) {
            word = 0;
        }
    }

    constexpr bool IsDown(std::uint32_t vk) const noexcept {
        return (down_[(vk & 0xFF) / 64] >> (vk % 64) & 1) != 0;
    }

private:
    static constexpr bool IsChordKey(std::uint32_t vk) noexcept {
        if (vk == kChordKey) {
            return true;
        }
        for (const auto& modifier : kChordModifiers) {
            for (const std::uint32_t code : modifier) {
                if (vk == code) {
                    return true;
                }
            }
        }
        return false;
    }

    constexpr bool HeldSince(std::uint32_t vk, std::uint32_t now,
                             std::uint32_t bound) const noexcept {
        return IsDown(vk) && now - lastPress_[vk] <= bound;
    }

    constexpr bool ModifiersHeld(std::uint32_t now) const noexcept {
        for (const auto& modifier : kChordModifiers) {
            bool held = false;
            for (const std::uint32_t vk : modifier) {
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
            if (!IsChordKey(vk) && HeldSince(vk, now, kHeldWithoutRepeatMs)) {
                return false;
            }
        }
        return true;
    }

    std::uint64_t down_[4]{};
    std::uint32_t lastPress_[256]{};
};
