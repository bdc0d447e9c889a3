// Execute (selector 0): render one frame of the record with its own block.
#pragma once

#include <cstdint>

#include "HostRecords.h"
#include "InstanceState.h"

// Compiles the four formulas when code area 0 holds no compiled code, takes
// the record's time, prepares the frame and renders it, in bands on the
// processors the process may use (output byte for byte that of one
// thread; only the calling thread looks for input). Returns 0 always,
// whether or not the render ran to its last row.
int16_t Execute(FilterRecord* record, InstanceState* state);
