// The windowing services of the stand-in where there is no window system:
// dialogs cannot be opened, and drawing has no screen, so these do nothing
// and return the neutral values documented at each.
#include <unordered_map>

#include "ReelInfo.h"
#include "ReelInfoShared.h"

namespace {

std::unordered_map<RvWindow, RvHandle>& DialogData() {
    static std::unordered_map<RvWindow, RvHandle> data;
    return data;
}

// Distinct, stable, non-null values for the opaque window and instance.
char gMainWindowObject;
char gHostInstanceObject;

}  // namespace

extern "C" {

// No dialog templates exist on this platform: every run ends at once with
// -1, the code of a dialog that cannot be opened, unless a test stands in
// for the dialog.
intptr_t RvRunDialog(int32_t templateId, RvWindow owner, RvDialogProc procedure, RvHandle data, RvInstance module) {
    CountDialogRun(templateId);
    RvTestDialogRunner runner = TestDialogRunner();
    return runner ? runner(templateId, owner, procedure, data, module) : -1;
}

RvWindow RvGetMainWindow(void) {
    RvWindow window = TestMainWindow();
    return window ? window : reinterpret_cast<RvWindow>(&gMainWindowObject);
}

void RvSetDialogData(RvWindow dialog, RvHandle data) {
    if (data)
        DialogData()[dialog] = data;
    else
        DialogData().erase(dialog);
}

RvHandle RvGetDialogData(RvWindow dialog) {
    auto it = DialogData().find(dialog);
    return it == DialogData().end() ? nullptr : it->second;
}

// Nothing to prepare without a window system.
void RvPrepareDialog(RvWindow) {}

// No controls exist: every rectangle is empty, all four sides 0.
void RvGetItemRect(RvWindow, int32_t, Rect* rect) {
    if (rect) *rect = Rect{0, 0, 0, 0};
}

// Drawing has no screen here: these draw nothing.
void rpixToScreen(PixelMap**, RvDeviceContext, const Rect*, const Rect*) {}
void RvFrameRect(RvDeviceContext, const Rect*, RvBrush) {}
void REELINFO_CALLBACK RvDrawThumb(RvWindow, RvDeviceContext) {}

// Black for every index.
uint32_t RvGetColor(int32_t) { return 0; }

// The plug-in ignores the answer; 0.
int32_t RvThumbDrawQuery(void) { return 0; }

RvInstance RvGetHostInstance(void) { return reinterpret_cast<RvInstance>(&gHostInstanceObject); }

}  // extern "C"
