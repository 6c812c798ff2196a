// The touchpad as the program reads it: the system's precision touchpad settings.
#pragma once

#include "Ports.h"

namespace quelvant::adapters {

core::TouchpadReader& SystemTouchpad();

} // namespace quelvant::adapters
