#include "LockHandOver.h"

#include <cstring>

namespace quelvant::core {

LockHandOver ToHandOver(const LockCommand& command) {
    return {command.kind == LockCommandKind::Lock ? 1u : 2u, command.seconds};
}

LockCommand FromHandOver(std::uintptr_t tag, const void* data, std::size_t size) {
    LockHandOver handOver{};
    if (tag != kLockHandOverTag || data == nullptr || size != sizeof handOver) {
        return {LockCommandKind::Bad, 0};
    }
    std::memcpy(&handOver, data, sizeof handOver);
    if (handOver.kind == 1 && handOver.seconds >= kLockMinSeconds &&
        handOver.seconds <= kLockMaxSeconds) {
        return {LockCommandKind::Lock, handOver.seconds};
    }
    if (handOver.kind == 2 && handOver.seconds == 0) {
        return {LockCommandKind::Unlock, 0};
    }
    return {LockCommandKind::Bad, 0};
}

} // namespace quelvant::core
