#include "Setup.h"

#include "CompileDriver.h"
#include "DialogContext.h"
#include "Dialogs.h"
#include "Entry.h"
#include "MessageBoxes.h"
#include "ModuleInstance.h"
#include "RESOURCE.h"
#include "ReelInfo.h"
#include "TableResources.h"

namespace {

constexpr intptr_t kDialogOk = 1;

// Runs a settings dialog modally over a DialogContext in a host handle and
// returns its end code. A context that cannot be allocated opens nothing
// and counts as a dialog that did not end with OK.
intptr_t RunSettingsDialog(int32_t templateId, FilterRecord* record, InstanceState* state) {
    RvHandle handle = RvNewHandle(kDialogContextSize);
    if (handle == nullptr) return -1;
    DialogContext* context = static_cast<DialogContext*>(*handle);
    context->compact = templateId == IDD_COMPACT_SETTINGS ? 1 : 0;
    context->filterRecord = record;
    context->instanceState = state;
    context->params = &state->params;
    LoadDialogIcon(ModuleInstance());
    const intptr_t endCode =
        RvRunDialog(templateId, HostPopupOwner(), SettingsDialogProcedure(), handle, ModuleInstance());
    RvDisposeHandle(handle);
    return endCode;
}

}  // namespace

int16_t Setup(FilterRecord* record, InstanceState* state) {
    LoadLookupTables(state);
    const FilterParams& params = state->params;
    int16_t result = kEntryOk;  // compile only
    if (params.built == 0) {
        result = RunSettingsDialog(IDD_SETTINGS, record, state) == kDialogOk ? kEntryOk : kEntryNotAccepted;
    } else if (params.hasControls != 0) {
        result = RunSettingsDialog(IDD_COMPACT_SETTINGS, record, state) == kDialogOk ? kEntryOk : kEntryNotAccepted;
    } else {
        CompileFormulas(state, &params);
    }
    state->setupDone = 1;
    return result;
}
