// The touchpad switch as the program has it: the system's precision touchpad settings.
#pragma once

#include "TouchpadRules.h"

TouchpadSwitch& SystemTouchpad();
