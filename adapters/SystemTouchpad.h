// The touchpad switch as the program has it: the system's precision touchpad settings.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::TouchpadSwitch& SystemTouchpad();

} // namespace quelvant::adapters
