#include "EditorSession.h"

#include "DialogSteps.h"
#include "RESOURCE.h"

namespace {

RvHandle ContextHandle(EditorSession& session) { return &session.contextAddress; }

// What the dialog's timer does after an edit, without the paint: the page
// asks for its frames itself.
void Recompile(EditorSession& session) {
    if (session.state->recompileNeeded == 0) return;
    FieldsToFormulas(EditorSettingsDialog(session), session.context.params);
    CompileAll(session.context);
}

std::string Boxes(EditorControls& controls) {
    std::string text;
    for (const std::string& box : controls.boxes) text += (text.empty() ? "" : "\n") + box;
    controls.boxes.clear();
    return text;
}

}  // namespace

SettingsDialog EditorSettingsDialog(EditorSession& session) {
    return SettingsDialog{&EditorControlsPort(), &EditorServices(), EditorWindow(session.full), &session.memory};
}

BuildDialog EditorBuildDialog(EditorSession& session) {
    return BuildDialog{&EditorControlsPort(), &EditorServices(), EditorWindow(session.build), &session.buildMemory};
}

void StartEditorSession(EditorSession& session, const FilterParams& params, int32_t total) {
    session.state = std::make_unique<InstanceState>();
    session.state->params = params;
    session.record.total = total;
    session.context = DialogContext{0, &session.record, session.state.get(), &session.state->params};
    session.contextAddress = &session.context;
    MakeEditorControls(session.full, kFullTemplate);
    ScopedEditorBoxes boxes(session.full);
    InitSettingsDialog(EditorSettingsDialog(session), ContextHandle(session));
    session.full.boxes.clear();
    ++session.version;
}

void EditFormula(EditorSession& session, int32_t index, const std::string& text) {
    session.full.controls[IDC_FORMULA_0 + index].text = text;
    SettingsDialogCommand(EditorSettingsDialog(session), IDC_FORMULA_0 + index, kFieldChanged);
    Recompile(session);
    ++session.version;
}

void MoveSlider(EditorSession& session, int32_t index, int32_t position) {
    session.full.controls[IDC_SLIDER_0 + index].position = position;
    SettingsDialogCommand(EditorSettingsDialog(session), IDC_SLIDER_0 + index, 0);
    ++session.version;
}

void SetSingleExpression(EditorSession& session, bool on) {
    session.full.controls[IDC_SINGLE_EXPRESSION].checked = on;
    SettingsDialogCommand(EditorSettingsDialog(session), IDC_SINGLE_EXPRESSION, 0);
    Recompile(session);
    ++session.version;
}

std::string LoadSettingsFrom(EditorSession& session, const std::string& path) {
    ScopedEditorBoxes boxes(session.full);
    session.full.filePath = path;
    SettingsDialogCommand(EditorSettingsDialog(session), IDC_LOAD, 0);
    session.full.filePath.clear();
    ++session.version;
    return Boxes(session.full);
}

std::string SaveSettingsTo(EditorSession& session, const std::string& path) {
    ScopedEditorBoxes boxes(session.full);
    session.full.filePath = path;
    SettingsDialogCommand(EditorSettingsDialog(session), IDC_SAVE, 0);
    session.full.filePath.clear();
    return Boxes(session.full);
}

void OpenBuildDialog(EditorSession& session) {
    MakeEditorControls(session.build, kBuildTemplate);
    InitBuildDialog(EditorBuildDialog(session), ContextHandle(session));
}

void ClickBuildBox(EditorSession& session, int32_t id) {
    EditorControl& box = session.build.controls[id];
    box.checked = !box.checked;  // the boxes toggle themselves before the dialog is told
    BuildDialogCommand(EditorBuildDialog(session), id, 0, 0);
}

void StoreBuildFields(EditorSession& session) {
    ReadBuildFields(EditorBuildDialog(session), session.state.get(), session.context.params);
    ++session.version;
}

std::vector<CompactControl> CompactPreview(EditorSession& session) {
    auto state = std::make_unique<InstanceState>();
    state->params = session.state->params;
    ReadBuildFields(EditorBuildDialog(session), state.get(), &state->params);
    state->params.built = 1;
    FilterRecord record = session.record;
    DialogContext context{1, &record, state.get(), &state->params};
    void* contextAddress = &context;
    EditorControls compact;
    MakeEditorControls(compact, kCompactTemplate);
    SettingsDialogMemory memory{};
    ScopedEditorBoxes boxes(compact);
    InitSettingsDialog(SettingsDialog{&EditorControlsPort(), &EditorServices(), EditorWindow(compact), &memory},
                       &contextAddress);
    std::vector<CompactControl> shown;
    for (int32_t k = 0; k < kSliderCount; ++k) {
        if (compact.controls.count(IDC_SLIDER_0 + k) == 0) continue;
        const EditorControl& map = compact.controls[IDC_MAP_NAME_0 + k / 2];
        const EditorControl& own = compact.controls[IDC_SLIDER_NAME_0 + k];
        if (own.visible)
            shown.push_back({-1, k, own.text});
        else if (map.visible && k % 2 == 0)
            shown.push_back({k / 2, k, map.text});
    }
    return shown;
}
