#include "HelperHookLibrary.h"

#include "Helper.h"

namespace quelvant::adapters {

namespace {
class HelperExports final : public core::HookLibrary {
public:
    int DisableMouse(std::uint16_t filter, std::uint32_t& lastError,
                     std::int32_t allowInjected) override {
        DWORD error = lastError;
        const int result = GlobalDisableMouse(filter, error, allowInjected);
        lastError = error;
        return result;
    }
    int DisableKeyboard(std::int32_t disable, std::int32_t allowInjected) override {
        return GlobalDisableKeyboard(disable, allowInjected);
    }
};
} // namespace

core::HookLibrary& HelperHookLibrary() {
    static HelperExports library;
    return library;
}

} // namespace quelvant::adapters
