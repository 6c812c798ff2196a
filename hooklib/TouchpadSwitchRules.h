// What the touchpad's switch decides, platform-free: when to send the system's toggle, when to
// give up waiting, and what a short count from SendInput means. Checked natively.
#pragma once

#include <cstdint>

// The user's own Ctrl, Alt, Shift or Win would join the toggle and make it another combination,
// so it waits for them to be let go; held for longer than this, it is not sent.
inline constexpr std::uint32_t kModifiersHeldBoundMs = 30000;

// The errors the switch reports besides the system's own. ERROR_TIMEOUT: the modifiers stayed
// down. ERROR_ELEVATION_REQUIRED: SendInput inserted fewer keys and set no error, which is how
// user-interface privilege isolation refuses (a window of a program running as administrator in
// front). ERROR_CANCELLED: a later wish took the place of this one before anything was sent.
inline constexpr std::uint32_t kModifiersHeldError = 1460;
inline constexpr std::uint32_t kBlockedByPrivilegeError = 740;
inline constexpr std::uint32_t kSupersededError = 1223;

enum class SwitchStep : unsigned char { Send, Wait, GiveUp };

constexpr SwitchStep NextSwitchStep(bool modifierHeld, std::uint32_t waitedMs) noexcept {
    return !modifierHeld                      ? SwitchStep::Send
           : waitedMs > kModifiersHeldBoundMs ? SwitchStep::GiveUp
                                              : SwitchStep::Wait;
}

// The error of a SendInput call that inserted `sent` of `count` keys, given the last error read
// right after it (cleared right before it): 0 when all went.
constexpr std::uint32_t SendInputError(unsigned sent, unsigned count,
                                       std::uint32_t lastError) noexcept {
    return sent == count ? 0 : lastError != 0 ? lastError : kBlockedByPrivilegeError;
}
