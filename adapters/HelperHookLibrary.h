// The hook library as the program has it: the two exports of Helper.dll.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::HookLibrary& HelperHookLibrary();

} // namespace quelvant::adapters
