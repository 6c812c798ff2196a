// The hook library as the program has it: the two exports of Helper.dll.
#pragma once

#include "DialogCore.h"

HookLibrary& HelperHookLibrary();
