// The Run list as the program has it: the program's entry under HKCU's Run key, named with the
// application's title, and the file system to look its path up.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::RunList& RegistryRunList();

} // namespace quelvant::adapters
