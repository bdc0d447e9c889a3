// The host entry: the one routine the host calls, by name, in the plug-in's
// library.
#pragma once

#include <cstdint>

#include "HostRecords.h"

// The host's calling convention for xFilter. Empty on every build so far:
// the 32-bit image sets it once the host's convention is settled there.
#define FABLIX_ENTRY_CALL

// xFilter is the library's only export; everything else is hidden.
#if defined(_WIN32)
#define FABLIX_ENTRY_EXPORT __declspec(dllexport)
#else
#define FABLIX_ENTRY_EXPORT __attribute__((visibility("default")))
#endif

enum : int16_t {
    kSelectorExecute = 0,  // render one frame
    kSelectorSetup = 1,    // let the user set the filter up

    kEntryOk = 0,           // execute; setup accepted or compile only
    kEntryNotAccepted = 1,  // setup: the dialog did not end with OK
    kEntryUnknownSelector = -1,
    kEntryOutOfMemory = -108,  // the InstanceState could not be allocated
};

// The type of the entry, for hosts that look it up by name.
using XFilterEntry = int16_t(FABLIX_ENTRY_CALL*)(int16_t selector, FilterRecord** recordHandle);

extern "C" FABLIX_ENTRY_EXPORT int16_t FABLIX_ENTRY_CALL xFilter(int16_t selector, FilterRecord** recordHandle);
