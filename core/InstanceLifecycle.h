// The life of a record's InstanceState: made on the first call for a
// FilterRecord, kept by the host with the record, never freed by the plug-in.
#pragma once

#include "HostRecords.h"
#include "InstanceState.h"

// Allocates the InstanceState in a host handle, zeroes it, fills its params
// from PARM 16000 and stores the handle in `record->instanceHandle`.
// Returns false, storing nothing, when the handle cannot be had.
bool CreateInstanceState(FilterRecord* record);
