// xFilter: locks the record for the whole call, creates the InstanceState
// on the first call (whatever the selector), and dispatches.
#include "Entry.h"

#include "Execute.h"
#include "InstanceLifecycle.h"
#include "ReelInfo.h"
#include "Setup.h"

extern "C" FABLIX_ENTRY_EXPORT int16_t FABLIX_ENTRY_CALL xFilter(int16_t selector, FilterRecord** recordHandle) {
    RvHandle handle = reinterpret_cast<RvHandle>(recordHandle);
    RvHLock(handle);
    FilterRecord* record = *recordHandle;
    if (record->instanceHandle == nullptr && !CreateInstanceState(record)) {
        RvHUnlock(handle);
        return kEntryOutOfMemory;
    }
    // The block is not locked: it does not move while a call runs.
    InstanceState* state = *record->instanceHandle;
    int16_t result;
    switch (selector) {
    case kSelectorExecute: result = Execute(record, state); break;
    case kSelectorSetup: result = Setup(record, state); break;
    default: result = kEntryUnknownSelector; break;
    }
    RvHUnlock(handle);
    return result;
}
