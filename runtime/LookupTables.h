// The lookup tables behind the trigonometric and polar functions: loaded
// from the plug-in's resources into an InstanceState by every setup call.
#pragma once

#include <cstdint>

#include "InstanceState.h"

// Loads, in this order: COSINE into cosineTable entries 0..255 and expands
// it to the full turn, ARCTAN into arctanTable, VECTOR into vectorTable.
// Each copies min(resource size, table size) bytes; a missing resource
// copies nothing and leaves its table as it was, without a report. The
// expansion runs whatever the COSINE copy did.
void LoadLookupTables(InstanceState* state);

// Builds entries 256..1023 of a cosine table (one turn in 1024 steps) from
// its first quarter, entries 0..255.
void ExpandCosineTable(int16_t table[kTableEntries]);
