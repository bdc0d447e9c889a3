#include "EditorControls.h"

#include <cstring>

#include "FilterParams.h"
#include "PlatformServices.h"
#include "RESOURCE.h"

namespace {

// The boxes of the dialog running on this thread: the services record has
// no room for whom a box belongs to.
thread_local EditorControls* tCurrentBoxes = nullptr;

EditorControls& Of(RvWindow window) { return *reinterpret_cast<EditorControls*>(window); }

EditorControl* Find(RvWindow window, int32_t id) {
    auto& controls = Of(window).controls;
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : &it->second;
}

void AddRange(EditorControls& c, int32_t first, int32_t count, bool visible) {
    for (int32_t id = first; id < first + count; ++id) c.controls[id].visible = visible;
}

void SetDialogData(RvWindow dialog, RvHandle data) { Of(dialog).data = data; }
RvHandle GetDialogData(RvWindow dialog) { return Of(dialog).data; }
void Nothing(RvWindow) {}
void SetCaption(RvWindow, const char*) {}
void EndDialog(RvWindow, int32_t) {}
// The page lays itself out; the dialog's placements land nowhere.
void ClientRect(RvWindow, Rect* rect) { *rect = Rect{0, 0, 0, 0}; }
void StartTimer(RvWindow, int32_t) {}
bool HasControl(RvWindow dialog, int32_t id) { return Find(dialog, id) != nullptr; }

void SetText(RvWindow dialog, int32_t id, const char* text) {
    if (EditorControl* c = Find(dialog, id)) c->text = text;
}

bool GetText(RvWindow dialog, int32_t id, char* buffer, int32_t capacity) {
    EditorControl* c = Find(dialog, id);
    if (c == nullptr || capacity <= 0) return false;
    const size_t n = std::min(c->text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(buffer, c->text.data(), n);
    buffer[n] = 0;
    return true;
}

void Show(RvWindow dialog, int32_t id, bool visible) {
    if (EditorControl* c = Find(dialog, id)) c->visible = visible;
}
void SetCheck(RvWindow dialog, int32_t id, bool checked) {
    if (EditorControl* c = Find(dialog, id)) c->checked = checked;
}
bool IsChecked(RvWindow dialog, int32_t id) {
    EditorControl* c = Find(dialog, id);
    return c != nullptr && c->checked;
}
void SelectText(RvWindow dialog, int32_t id, int32_t start, int32_t end) {
    if (EditorControl* c = Find(dialog, id)) {
        c->selectionStart = start;
        c->selectionEnd = end;
    }
}
void LimitText(RvWindow, int32_t, int32_t) {}
void Focus(RvWindow dialog, int32_t id) { Of(dialog).focused = id; }
void RepaintNow(RvWindow, int32_t) {}

intptr_t SendMessage(RvWindow dialog, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    EditorControl* c = Find(dialog, id);
    if (c == nullptr) return 0;
    switch (message) {
    case kSliderSetRange: c->rangeMax = static_cast<int32_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF); break;
    case kSliderGetPosition: return c->position;
    case kSliderSetPosition: c->position = static_cast<int32_t>(wParam); break;
    default: break;
    }
    return 0;
}

// The page shows the preview at its own size, so the dialog's paint finds
// no preview frame and renders nothing.
bool ControlRect(RvWindow dialog, int32_t id, Rect* rect) {
    if (id == IDC_PREVIEW || Find(dialog, id) == nullptr) return false;
    *rect = Rect{0, 0, 0, 0};
    return true;
}
void MoveControl(RvWindow, int32_t, const Rect*) {}

bool ReplaceBySlider(RvWindow dialog, int32_t placeholderId, int32_t sliderId, uint32_t) {
    Of(dialog).controls.erase(placeholderId);
    Of(dialog).controls[sliderId] = EditorControl{};
    return true;
}
void DestroyControl(RvWindow dialog, int32_t id) { Of(dialog).controls.erase(id); }

// The page has asked for the file already: the dialog answers with it.
bool FileDialog(RvWindow dialog, const FileDialogRequest*, char* path, int32_t capacity) {
    const std::string& chosen = Of(dialog).filePath;
    if (chosen.empty() || chosen.size() >= static_cast<size_t>(capacity)) return false;
    std::memcpy(path, chosen.c_str(), chosen.size() + 1);
    return true;
}

// The page draws its own preview: the logic's drawing goes nowhere.
RvDeviceContext BeginDrawing(RvWindow) { return nullptr; }
void EndDrawing(RvWindow, RvDeviceContext) {}
void DrawPixelMap(PixelMap**, RvDeviceContext, const Rect*, const Rect*) {}
void FrameRectangle(RvDeviceContext, const Rect*, RvBrush) {}
RvBrush StockBrush(::StockBrush) { return nullptr; }
RvBrush CreateSolidBrush(uint32_t) { return nullptr; }
void DeleteBrush(RvBrush) {}
uint32_t ButtonFace() { return 0; }
uint32_t HostColor(int32_t) { return 0; }
int32_t ThumbDrawQuery() { return 0; }
void WindowClientRect(RvWindow, Rect* rect) { *rect = Rect{0, 0, 0, 0}; }
void DrawDialogIcon(RvDeviceContext, int32_t, int32_t) {}
void REELINFO_CALLBACK NoThumb(RvWindow, RvDeviceContext) {}

const ControlsPort kPort = {
    .setDialogData = SetDialogData,
    .getDialogData = GetDialogData,
    .prepareDialog = Nothing,
    .setCaption = SetCaption,
    .endDialog = EndDialog,
    .clientRect = ClientRect,
    .startTimer = StartTimer,
    .stopTimer = Nothing,
    .hasControl = HasControl,
    .setText = SetText,
    .getText = GetText,
    .show = Show,
    .setCheck = SetCheck,
    .isChecked = IsChecked,
    .selectText = SelectText,
    .limitText = LimitText,
    .focus = Focus,
    .repaintNow = RepaintNow,
    .sendMessage = SendMessage,
    .controlRect = ControlRect,
    .moveControl = MoveControl,
    .replaceBySlider = ReplaceBySlider,
    .destroyControl = DestroyControl,
    .openFileDialog = FileDialog,
    .saveFileDialog = FileDialog,
    .beginDrawing = BeginDrawing,
    .endDrawing = EndDrawing,
    .drawPixelMap = DrawPixelMap,
    .frameRect = FrameRectangle,
    .fillRect = FrameRectangle,
    .stockBrush = StockBrush,
    .createSolidBrush = CreateSolidBrush,
    .deleteBrush = DeleteBrush,
    .buttonFaceColor = ButtonFace,
    .hostColor = HostColor,
    .thumbDrawQuery = ThumbDrawQuery,
    .windowClientRect = WindowClientRect,
    .drawDialogIcon = DrawDialogIcon,
    .hostThumbPainter = NoThumb,
    .ownThumbPainter = NoThumb,
};

void KeepBox(const char*, const char* text) {
    if (tCurrentBoxes != nullptr) tCurrentBoxes->boxes.push_back(text);
}
void NoBeep() {}
bool NoInput() { return false; }

Services MakeServices() {
    Services services = PlatformServices();
    services.errorBox = KeepBox;
    services.informationBox = KeepBox;
    services.beep = NoBeep;
    services.inputWaiting = NoInput;
    return services;
}

}  // namespace

void MakeEditorControls(EditorControls& c, EditorTemplate which) {
    c.controls.clear();
    if (which == kBuildTemplate) {
        for (int32_t id : {IDC_OK, IDC_CANCEL, IDC_MODULE_NAME, IDC_TITLE, IDC_AUTHOR_TEXT}) c.controls[id];
        AddRange(c, IDC_MAP_ENABLED_0, kMapCount, true);
        AddRange(c, IDC_MAP_NAME_TEXT_0, kMapCount, true);
        AddRange(c, IDC_SLIDER_ENABLED_0, kSliderCount, true);
        AddRange(c, IDC_SLIDER_NAME_TEXT_0, kSliderCount, true);
        return;
    }
    const bool full = which == kFullTemplate;
    for (int32_t id : {IDC_OK, IDC_CANCEL, IDC_PREVIEW_SLIDER, IDC_ANIMATE}) c.controls[id];
    c.controls[IDC_PREVIEW].visible = false;
    AddRange(c, IDC_SLIDER_PLACEHOLDER_0, kSliderCount, true);
    AddRange(c, IDC_SLIDER_VALUE_0, kSliderCount, true);
    AddRange(c, IDC_SLIDER_NAME_0, kSliderCount, !full);
    AddRange(c, IDC_MAP_NAME_0, kMapCount, full);
    for (int32_t k = 0; k < kSliderCount; ++k)
        c.controls[IDC_SLIDER_NAME_0 + k].text = "Slider " + std::to_string(k) + ":";
    for (int32_t i = 0; i < kMapCount; ++i) c.controls[IDC_MAP_NAME_0 + i].text = "Map " + std::to_string(i);
    if (!full) {
        c.controls[IDC_AUTHOR];
        return;
    }
    AddRange(c, IDC_FORMULA_0, kFormulaCount, true);
    AddRange(c, IDC_ERROR_BUTTON_0, kFormulaCount, true);
    AddRange(c, IDC_FORMULA_LABEL_2, kFormulaCount, true);
    for (int32_t id : {IDC_SINGLE_EXPRESSION, IDC_LOAD, IDC_SAVE, IDC_BUILD, IDC_DIVIDER}) c.controls[id];
}

const ControlsPort& EditorControlsPort() { return kPort; }

const Services& EditorServices() {
    static const Services services = MakeServices();  // constant once made
    return services;
}

ScopedEditorBoxes::ScopedEditorBoxes(EditorControls& controls) : previous(tCurrentBoxes) { tCurrentBoxes = &controls; }
ScopedEditorBoxes::~ScopedEditorBoxes() { tCurrentBoxes = previous; }
