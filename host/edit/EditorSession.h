// One editing session: the block being edited, the settings dialog and the
// build dialog of ui/ over controls kept as data (EditorControls), and the
// operations the page asks for. Every operation runs the dialogs' own
// logic: a formula edit is the field's change notification and the tick's
// recompile, a slider move the slider's command, Load and Save the
// dialog's commands with the file the page named. The caller holds one
// lock around each call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BuildDialog.h"
#include "DialogContext.h"
#include "EditorControls.h"
#include "SettingsDialog.h"

struct EditorSession {
    std::unique_ptr<InstanceState> state;  // the block (state->params) and the compile results
    FilterRecord record{};                 // the preview's time and the clip's last frame
    DialogContext context{};
    void* contextAddress = nullptr;  // the handle the dialogs are given points here
    EditorControls full;             // the settings dialog, template 101
    EditorControls build;            // the build dialog, template 104
    SettingsDialogMemory memory{};
    BuildDialogMemory buildMemory{};
    uint64_t version = 0;  // changes with every change of the block
};

// Opens the settings dialog over `params` for a clip whose last frame is
// `total`: the controls are filled and the formulas compiled.
void StartEditorSession(EditorSession& session, const FilterParams& params, int32_t total);

SettingsDialog EditorSettingsDialog(EditorSession& session);
BuildDialog EditorBuildDialog(EditorSession& session);

// The page's edits. The caller has checked the values: index in range, a
// formula that fits its slot, a slider position 0..255.
void EditFormula(EditorSession& session, int32_t index, const std::string& text);
void MoveSlider(EditorSession& session, int32_t index, int32_t position);
void SetSingleExpression(EditorSession& session, bool on);

// Load and Save of the dialog with `path` as the file dialog's answer.
// The messages the dialog showed, "" when it showed none.
std::string LoadSettingsFrom(EditorSession& session, const std::string& path);
std::string SaveSettingsTo(EditorSession& session, const std::string& path);

// The build dialog: opened from the block, a box clicked (its own rules
// uncheck the boxes it excludes), and OK's write-back of the fields.
void OpenBuildDialog(EditorSession& session);
void ClickBuildBox(EditorSession& session, int32_t id);
void StoreBuildFields(EditorSession& session);

// A control of the dialog that a plug-in built now would show: a map with
// its two sliders, or a slider alone, under the label the dialog gives it.
struct CompactControl {
    int32_t map;     // -1 for a slider alone
    int32_t slider;  // the map's first slider, or the slider alone
    std::string label;
};

// The compact dialog of ui/ opened on a copy of the block with the build
// dialog's fields as they stand: what the built plug-in's users will see.
std::vector<CompactControl> CompactPreview(EditorSession& session);
