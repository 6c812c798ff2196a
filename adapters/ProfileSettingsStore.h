// The settings store as the program has it: the Settings section of the application's
// profile in the per-user registry, read through the same decoder that is fuzzed.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::SettingsStore& ProfileSettingsStore();

} // namespace quelvant::adapters
