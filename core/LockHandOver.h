// The hand-over of a lock command from a second start to the running instance (WM_COPYDATA):
// its tag and format, read there as untrusted bytes from another process.
#pragma once

#include "LockCommand.h"

#include <cstddef>
#include <cstdint>

namespace quelvant::core {

inline constexpr std::uintptr_t kLockHandOverTag = 0x514C434B; // "QLCK"
struct LockHandOver {
    std::uint32_t kind;    // 1 lock, 2 unlock
    std::uint32_t seconds; // for a lock
};
LockHandOver ToHandOver(const LockCommand& command);
// Bad unless the tag, the size and the values are exactly those of a lock or an unlock.
LockCommand FromHandOver(std::uintptr_t tag, const void* data, std::size_t size);

} // namespace quelvant::core
