// The rules of blocking control that need no window: the filter word from the check boxes,
// the outcome of a mouse call, the error texts. Platform-free.
#pragma once

#include "HookDecision.h"
#include "Ports.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quelvant::core {

// Note the control ids do not follow the bit order: right gives 0x02, middle 0x04.
constexpr std::uint16_t ComposeMouseFilter(std::int32_t left, std::int32_t right,
                                           std::int32_t middle, std::int32_t movements,
                                           std::int32_t wheel) noexcept {
    return static_cast<std::uint16_t>(
        (left != 0 ? MOUSE_FILTER_LEFT : 0) | (right != 0 ? MOUSE_FILTER_RIGHT : 0) |
        (middle != 0 ? MOUSE_FILTER_MIDDLE : 0) | (movements != 0 ? MOUSE_FILTER_MOVE : 0) |
        (wheel != 0 ? MOUSE_FILTER_WHEEL : 0));
}

enum BlockState : std::int32_t {
    kBlockNothingApplied = 0,
    kBlockInForce = 1,
    kBlockReleased = 2,
    kBlockError = 3,
};

struct MouseOutcome {
    TextId text;
    std::int32_t blockState;
};

// "Disablig" is the program's own spelling of that status text.
constexpr MouseOutcome PickMouseOutcome(std::uint16_t filter, int libraryResult) noexcept {
    if (filter != 0) {
        return libraryResult != 0 ? MouseOutcome{TextId::MouseDisabled, kBlockInForce}
                                  : MouseOutcome{TextId::MouseDisableError, kBlockError};
    }
    return libraryResult != 0 ? MouseOutcome{TextId::MouseEnabled, kBlockReleased}
                              : MouseOutcome{TextId::MouseEnableError, kBlockError};
}

// The Disable / Enable shortcut releases while blocking is in force or failed, else applies.
constexpr bool HotKeyReleasesMouse(std::int32_t blockState) noexcept {
    return blockState == kBlockInForce || blockState == kBlockError;
}

// Told when the hook library put back a hook that the system had dropped: blocking had
// lapsed and holds again.
constexpr TextId HooksRestoredText(bool mouse, bool keyboard) noexcept {
    return mouse && keyboard ? TextId::RestoredMouseAndKeyboard
           : mouse           ? TextId::RestoredMouse
                             : TextId::RestoredKeyboard;
}

// "Could not Disable Selected Mouse Functionality.\n\nLast Error %x\n\n%s"
std::wstring FormatMouseErrorMessage(TextSource& texts, std::uint32_t lastError,
                                     std::wstring_view systemText);

// A system message as the platform hands it out, with its closing line break cut.
std::wstring TrimSystemMessage(std::wstring_view message);

// The text given for a code the system has no message for.
std::wstring FallbackErrorText(TextSource& texts, std::uint32_t code);

// Lower-case hexadecimal without prefix or leading zeros; upper-case for the fallback.
std::wstring ToHex(std::uint32_t value, bool upperCase);

} // namespace quelvant::core
