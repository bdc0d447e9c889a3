#include "BuildDialog.h"

#include <cstring>

#include "ErrorBox.h"
#include "PluginPath.h"
#include "RESOURCE.h"
#include "SlotText.h"

namespace {

constexpr int32_t kMapBox0 = IDC_MAP_ENABLED_0;
constexpr int32_t kSliderBox0 = IDC_SLIDER_ENABLED_0;
constexpr int32_t kSlidersPerMap = kSliderCount / kMapCount;

DialogContext* Context(const BuildDialog& dialog) {
    RvHandle handle = dialog.port->getDialogData(dialog.window);
    return handle == nullptr ? nullptr : static_cast<DialogContext*>(*handle);
}

void ShowSlot(const BuildDialog& dialog, int32_t id, const char (&slot)[kTextSlotSize]) {
    char text[kTextSlotSize];
    CopySlotText(text, slot);
    dialog.port->setText(dialog.window, id, text);
}

// Stores at most capacity - 1 characters of field `id` with a terminator;
// the slot's bytes after the terminator keep what they held, and a field
// the dialog does not have leaves the slot as it is.
void StoreField(const BuildDialog& dialog, int32_t id, char (&slot)[kTextSlotSize], int32_t capacity) {
    char text[kTextSlotSize] = {};
    if (dialog.port->getText(dialog.window, id, text, capacity)) StoreSlotText(slot, text);
}

int32_t CheckState(const BuildDialog& dialog, int32_t id) { return dialog.port->isChecked(dialog.window, id) ? 1 : 0; }

// A checked map and its two sliders exclude each other; unchecking a box
// changes no other box.
void MapBoxClicked(const BuildDialog& dialog, int32_t map) {
    if (!dialog.port->isChecked(dialog.window, kMapBox0 + map)) return;
    for (int32_t s = 0; s < kSlidersPerMap; ++s)
        dialog.port->setCheck(dialog.window, kSliderBox0 + kSlidersPerMap * map + s, false);
}

void SliderBoxClicked(const BuildDialog& dialog, int32_t slider) {
    if (!dialog.port->isChecked(dialog.window, kSliderBox0 + slider)) return;
    dialog.port->setCheck(dialog.window, kMapBox0 + slider / kSlidersPerMap, false);
}

void ModuleNameCommand(const BuildDialog& dialog, DialogContext* context, int32_t code) {
    if (code == kFieldChanged) {
        dialog.memory->moduleNameChanged = 1;
    } else if (code == kFieldFocusLost && dialog.memory->moduleNameChanged == 1) {
        // Only a warning: leaving the field never blocks anything.
        if (context != nullptr) CheckModuleName(dialog, context->instanceState, context->params);
        dialog.memory->moduleNameChanged = 0;
    }
}

void Ok(const BuildDialog& dialog, DialogContext* context) {
    if (context == nullptr || !CheckModuleName(dialog, context->instanceState, context->params)) return;
    ReadBuildFields(dialog, context->instanceState, context->params);
    dialog.port->endDialog(dialog.window, IDC_OK);
}

}  // namespace

bool RunBuildDialog(const Services& services, FilterRecord* record, InstanceState* state, FilterParams* params) {
    RvHandle handle = RvNewHandle(kDialogContextSize);
    if (handle == nullptr) return false;  // no dialog, so nothing is built
    DialogContext* context = static_cast<DialogContext*>(*handle);
    context->filterRecord = record;
    context->instanceState = state;
    context->params = params;
    const intptr_t endCode = services.runBuildDialog(handle);
    RvDisposeHandle(handle);
    return endCode == IDC_OK;
}

// The boxes are set exactly as the block holds them: the coupling applies
// to clicks only. The notice has no control in this dialog and stays as the
// block holds it.
int32_t InitBuildDialog(const BuildDialog& dialog, RvHandle contextHandle) {
    const ControlsPort& port = *dialog.port;
    port.setDialogData(dialog.window, contextHandle);
    const FilterParams* params = static_cast<DialogContext*>(*contextHandle)->params;
    ShowSlot(dialog, IDC_TITLE, params->title);
    ShowSlot(dialog, IDC_AUTHOR_TEXT, params->author);
    ShowSlot(dialog, IDC_MODULE_NAME, params->moduleName);
    // Set after the text: a longer name the block holds is shown whole.
    port.limitText(dialog.window, IDC_MODULE_NAME, kModuleNameLimit);
    for (int32_t i = 0; i < kMapCount; ++i) {
        ShowSlot(dialog, IDC_MAP_NAME_TEXT_0 + i, params->mapName[i]);
        port.setCheck(dialog.window, kMapBox0 + i, params->mapEnabled[i] != 0);
    }
    for (int32_t j = 0; j < kSliderCount; ++j) {
        ShowSlot(dialog, IDC_SLIDER_NAME_TEXT_0 + j, params->sliderName[j]);
        port.setCheck(dialog.window, kSliderBox0 + j, params->sliderEnabled[j] != 0);
    }
    port.prepareDialog(dialog.window);
    dialog.memory->moduleNameChanged = 0;  // filling the name field reported a change
    return 1;
}

void BuildDialogCommand(const BuildDialog& dialog, int32_t id, intptr_t, int32_t code) {
    DialogContext* context = Context(dialog);
    if (id == IDC_OK) {
        Ok(dialog, context);
    } else if (id == IDC_CANCEL) {
        dialog.port->endDialog(dialog.window, IDC_CANCEL);
    } else if (id == IDC_MODULE_NAME) {
        ModuleNameCommand(dialog, context, code);
    } else if (id >= kMapBox0 && id < kMapBox0 + kMapCount) {
        MapBoxClicked(dialog, id - kMapBox0);
    } else if (id >= kSliderBox0 && id < kSliderBox0 + kSliderCount) {
        SliderBoxClicked(dialog, id - kSliderBox0);
    }
}

void ReadBuildFields(const BuildDialog& dialog, InstanceState*, FilterParams* params) {
    StoreField(dialog, IDC_TITLE, params->title, kTitleReadCapacity);
    StoreField(dialog, IDC_AUTHOR_TEXT, params->author, kAuthorReadCapacity);
    StoreField(dialog, IDC_MODULE_NAME, params->moduleName, kModuleNameWriteCapacity);
    for (int32_t i = 0; i < kMapCount; ++i) {
        StoreField(dialog, IDC_MAP_NAME_TEXT_0 + i, params->mapName[i], kNameReadCapacity);
        params->mapEnabled[i] = CheckState(dialog, kMapBox0 + i);
    }
    for (int32_t j = 0; j < kSliderCount; ++j) {
        StoreField(dialog, IDC_SLIDER_NAME_TEXT_0 + j, params->sliderName[j], kNameReadCapacity);
        params->sliderEnabled[j] = CheckState(dialog, kSliderBox0 + j);
    }
    StoreHasControls(params);
}

// The same rules as the writer's: a loaded module's name or one naming a
// folder is reserved, and an existing plug-in is never replaced, the
// running plug-in's own file least of all. An empty name would make a file
// called ".rvp", so it is refused too.
bool CheckModuleName(const BuildDialog& dialog, InstanceState*, FilterParams* params) {
    char name[kModuleNameReadCapacity] = {};
    dialog.port->getText(dialog.window, IDC_MODULE_NAME, name, sizeof name);
    const int32_t message = name[0] == 0 ? IDS_NO_MODULE_NAME : CheckModuleNameRules(name, dialog.services);
    if (message == 0) return true;
    ErrorBox(*dialog.services, params, message);  // the title as it was: nothing is written back yet
    dialog.port->focus(dialog.window, IDC_MODULE_NAME);
    dialog.port->selectText(dialog.window, IDC_MODULE_NAME, 0, kSelectAllEnd);
    return false;
}
