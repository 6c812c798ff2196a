// The one place that builds the words of Helper.dll's two exports (hooklib's Helper.h and
// LockRequest.h define them) from the core's typed calls, and reads their results back.
#include "HelperHookPort.h"

#include "Helper.h"

namespace quelvant::adapters {

namespace {

// The keyboard export gives no error of its own beyond its result.
core::HookResult Keyboard(std::int32_t word, BOOL allowInjected) {
    return {GlobalDisableKeyboard(word, allowInjected) != 0, 0};
}

class HelperExports final : public core::HookPort {
public:
    core::BlockResult Block(std::uint16_t mouseFilter, core::KeysChoice keys,
                            bool allowSimulated) override {
        const BOOL allow = allowSimulated ? TRUE : FALSE;
        DWORD error = 0; // fresh for every call: the export writes it only when it fails
        core::BlockResult result;
        result.mouse.done = GlobalDisableMouse(mouseFilter, error, allow) != 0;
        result.mouse.error = error;
        if (!result.mouse.done) {
            return result; // the keyboard stays as it is
        }
        if (keys == core::KeysChoice::Unchanged) {
            result.keys.done = true;
            return result;
        }
        result.keys = Keyboard(keys == core::KeysChoice::Block ? TRUE : FALSE, allow);
        return result;
    }

    core::HookResult Lock(std::uint32_t seconds) override {
        // 0 would end a lock, and the word keeps only the low bits: neither is a lock.
        if (seconds == 0 || seconds > static_cast<std::uint32_t>(HELPER_LOCK_SECONDS_MASK)) {
            return {false, ERROR_INVALID_PARAMETER};
        }
        return Keyboard(LockWord(seconds), FALSE);
    }

    core::HookResult Unlock() override { return Keyboard(LockWord(0), FALSE); }

    core::HookResult ChordAct(bool release) override { return Keyboard(ChordWord(release), FALSE); }

    // The system keeps the switch in the user's profile: it outlasts sign-out and restart, so
    // the program gives it back itself (the core's touchpad keeper, at every way out).
    core::HookResult HoldTouchpad(bool hold) override {
        const BOOL word = HELPER_TOUCHPAD_REQUEST | (hold ? HELPER_TOUCHPAD_HOLD_OFF : 0);
        if (GlobalDisableKeyboard(word, FALSE) != 0) {
            return {true, 0};
        }
        return {false, GetLastError()};
    }
};

} // namespace

core::HookPort& HelperHookPort() {
    static HelperExports library;
    return library;
}

} // namespace quelvant::adapters
