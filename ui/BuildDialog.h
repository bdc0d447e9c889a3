// The build dialog (template 104, "Build Custom Filter"): the module name,
// title, author and the maps and sliders a new stand-alone plug-in offers,
// edited in the live block of the settings dialog that opened it. It writes
// no file; the Build command writes the plug-in after OK.
#pragma once

#include <cstdint>

#include "ControlsPort.h"
#include "DialogContext.h"
#include "Services.h"

enum : int32_t {
    kModuleNameLimit = 8,          // characters the user may type into the name field
    kModuleNameReadCapacity = 31,  // the check reads at most 30 characters
    kSelectAllEnd = 999,           // a selection end past any name
    kTitleReadCapacity = 254,      // the write-back's limits, terminator included
    kAuthorReadCapacity = 255,
    kModuleNameWriteCapacity = 255,
    kNameReadCapacity = 255,   // map and slider names
    kFieldFocusLost = 0x0200,  // an edit field's notification that it lost the focus
};

// What the dialog keeps between messages: whether the module name changed
// since its last check. The platform keeps one for its one open build dialog.
struct BuildDialogMemory {
    int32_t moduleNameChanged;
};

// One build dialog as its handlers see it: its window, the controls port,
// the platform's services (the module-name checks among them), and its
// memory.
struct BuildDialog {
    const ControlsPort* port;
    const Services* services;
    RvWindow window;
    BuildDialogMemory* memory;
};

// Runs template 104 modally over the three records and returns true exactly
// when it ended with OK. False, with nothing shown, when the context cannot
// be allocated.
bool RunBuildDialog(const Services& services, FilterRecord* record, InstanceState* state, FilterParams* params);

// Attaches the context handle and fills the controls from the block as it
// stands; returns 1 (the focus goes to the first tab stop).
int32_t InitBuildDialog(const BuildDialog& dialog, RvHandle contextHandle);

// A command from control `id` with notification `code`.
void BuildDialogCommand(const BuildDialog& dialog, int32_t id, intptr_t lParam, int32_t code);

// OK's write-back: every edited field of the block at once, `hasControls`
// as the OR of the twelve boxes and the three reserved words cleared.
void ReadBuildFields(const BuildDialog& dialog, InstanceState* state, FilterParams* params);

// The module name in field 501: true when accepted, else false after an
// error box and with the field focused and all of it selected.
bool CheckModuleName(const BuildDialog& dialog, InstanceState* state, FilterParams* params);
