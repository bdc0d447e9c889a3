// The programs the executors run, decoded from a state's code areas. The
// InstanceState is a fixed record with no room for them, so they live in
// one process-wide entry (one thread, one record rendering at a time) and
// are decoded again only when the state or its code areas change.
#pragma once

#include "InstanceState.h"
#include "Render.h"

// The programs of `state`'s four code areas as they are now: the cached
// ones when the entry belongs to `state` and was decoded from the same
// bytes, else decoded afresh into the entry. nullptr only when the entry
// itself (about a megabyte, allocated on first use) cannot be had.
FormulaPrograms* DecodedPrograms(const InstanceState* state);
