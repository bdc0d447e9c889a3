// The arithmetic of the lookup tables behind the trigonometric and polar
// functions; core/TableResources.h loads them from the plug-in's resources.
#pragma once

#include <cstdint>

#include "InstanceState.h"

// Builds entries 256..1023 of a cosine table (one turn in 1024 steps) from
// its first quarter, entries 0..255.
void ExpandCosineTable(int16_t table[kTableEntries]);
