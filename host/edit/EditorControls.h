// The controls port of the editor: the dialogs' controls kept as data on
// the server, which the page shows and changes. The dialog logic of ui/
// runs over it unchanged: the page's edits become the commands a window
// system would send, and what the logic puts into the controls (labels,
// visibility, check states, selections) goes back to the page. Boxes the
// logic shows are kept as the answer's message. The window value is the
// address of the EditorControls.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ControlsPort.h"
#include "Services.h"

struct EditorControl {
    std::string text;
    bool visible = true;
    bool checked = false;
    int32_t position = 0;  // a slider's
    int32_t rangeMax = 0;
    int32_t selectionStart = -1, selectionEnd = -1;
};

// The dialogs whose controls the editor keeps.
enum EditorTemplate : int32_t { kFullTemplate, kCompactTemplate, kBuildTemplate };

struct EditorControls {
    std::map<int32_t, EditorControl> controls;
    RvHandle data = nullptr;
    int32_t focused = 0;
    std::vector<std::string> boxes;  // the texts of the boxes shown, in order
    std::string filePath;            // what the next file dialog answers; "" cancels it
};

// The controls of a template, with the texts and visibility they start with.
void MakeEditorControls(EditorControls& controls, EditorTemplate which);

const ControlsPort& EditorControlsPort();

// The platform's services, with the boxes and the beep kept by the
// EditorControls that a ScopedEditorBoxes names on this thread, and no
// input ever waiting.
const Services& EditorServices();

// While it lives, the boxes the logic shows on this thread go to `controls`.
struct ScopedEditorBoxes {
    explicit ScopedEditorBoxes(EditorControls& controls);
    ~ScopedEditorBoxes();
    ScopedEditorBoxes(const ScopedEditorBoxes&) = delete;
    ScopedEditorBoxes& operator=(const ScopedEditorBoxes&) = delete;
    EditorControls* previous;
};

inline RvWindow EditorWindow(EditorControls& controls) { return reinterpret_cast<RvWindow>(&controls); }
