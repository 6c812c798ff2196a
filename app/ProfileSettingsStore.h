// The settings store as the program has it: the Settings section of the application's
// profile in the per-user registry, read through the same decoder that is fuzzed; and the
// administrator's policy keys above it.
#pragma once

#include "DialogCore.h"

SettingsStore& ProfileSettingsStore();

// The administrator's policy as the registry holds it now: the machine's key, then the user's.
SettingsPolicy ReadSettingsPolicy();
