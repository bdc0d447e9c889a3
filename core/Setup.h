// Setup (selector 1): let the user set the filter up, by the block's flags:
// the full settings dialog, the compact one, or only a compile.
#pragma once

#include <cstdint>

#include "HostRecords.h"
#include "InstanceState.h"

// Loads the lookup tables (every time), then: `built` 0 opens template 101;
// built with controls opens 102; built without controls compiles only.
// Sets setupDone. Returns 0 when the dialog ended with OK (1) or when only
// compiling, 1 otherwise.
int16_t Setup(FilterRecord* record, InstanceState* state);
