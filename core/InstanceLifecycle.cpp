#include "InstanceLifecycle.h"

#include <cstring>

#include "DefaultParams.h"
#include "ReelInfo.h"

bool CreateInstanceState(FilterRecord* record) {
    RvHandle handle = RvNewHandle(kInstanceStateSize);
    if (handle == nullptr) return false;
    // The host's blocks come uninitialised; the plug-in relies on zero.
    InstanceState* state = static_cast<InstanceState*>(*handle);
    std::memset(state, 0, kInstanceStateSize);
    LoadDefaultParams(&state->params);
    record->instanceHandle = reinterpret_cast<InstanceState**>(handle);
    return true;
}
