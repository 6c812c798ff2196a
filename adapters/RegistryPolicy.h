// The administrator's policy as the program has it: the machine's and the user's policy keys
// in the registry, merged by the core's rules.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::PolicySource& RegistryPolicy();

} // namespace quelvant::adapters
