// The hook port as the program has it: the two exports of Helper.dll.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::HookPort& HelperHookPort();

} // namespace quelvant::adapters
