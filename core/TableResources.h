// The lookup tables an instance computes with: the plug-in's COSINE, ARCTAN
// and VECTOR resources, loaded by every setup call.
#pragma once

#include "InstanceState.h"

// Loads, in this order: COSINE into cosineTable entries 0..255 and expands
// it to the full turn, ARCTAN into arctanTable, VECTOR into vectorTable.
// Each copies min(resource size, table size) bytes; a missing resource
// copies nothing and leaves its table as it was, without a report. The
// expansion runs whatever the COSINE copy did.
void LoadLookupTables(InstanceState* state);
