#include "Preview.h"

#include "DialogSteps.h"
#include "RESOURCE.h"
#include "Render.h"

namespace {

enum : int32_t {
    kPreviewRightMargin = 6,  // pixels between the preview and the client area's right edge
    kPreviewTop = 8,
    kSliderGap = 4,  // between the preview and the frame slider
    kAnimateRightMargin = 10,
    kAnimateGap = 7,  // between the frame slider and the check box
    kLastPhase = kAnimationPhases - 1,
};

int32_t Width(const Rect& r) { return r.right - r.left; }
int32_t Height(const Rect& r) { return r.bottom - r.top; }

Rect At(int32_t left, int32_t top, int32_t width, int32_t height) {
    return Rect{left, top, left + width, top + height};
}

void ShowErrorButtons(const SettingsDialog& dialog, const InstanceState* state) {
    for (int32_t i = 0; i < kFormulaCount; ++i)
        dialog.port->show(dialog.window, IDC_ERROR_BUTTON_0 + i, state->compileFailed[i] != 0);
}

}  // namespace

int32_t AnimationTime(int32_t total, int32_t phase) {
    // The product wraps as 32-bit arithmetic does, then divides signed.
    const int32_t product = static_cast<int32_t>(static_cast<uint32_t>(total) * static_cast<uint32_t>(phase));
    return product / kLastPhase;
}

void LayOutPreview(const SettingsDialog& dialog) {
    const ControlsPort& port = *dialog.port;
    Rect client{};
    port.clientRect(dialog.window, &client);
    Rect frame{};
    Rect slider{};
    Rect animate{};
    port.controlRect(dialog.window, IDC_PREVIEW, &frame);
    port.controlRect(dialog.window, IDC_PREVIEW_SLIDER, &slider);
    port.controlRect(dialog.window, IDC_ANIMATE, &animate);

    frame = At(client.right - kPreviewRightMargin - kPreviewWidth, kPreviewTop, kPreviewWidth, kPreviewHeight);
    port.moveControl(dialog.window, IDC_PREVIEW, &frame);
    port.show(dialog.window, IDC_PREVIEW, true);
    slider = At(frame.left, frame.bottom + kSliderGap, kPreviewWidth, Height(slider));
    port.moveControl(dialog.window, IDC_PREVIEW_SLIDER, &slider);
    animate = At(client.right - kAnimateRightMargin - Width(animate), slider.bottom + kAnimateGap, Width(animate),
                 Height(animate));
    port.moveControl(dialog.window, IDC_ANIMATE, &animate);
}

void PreviewTick(const SettingsDialog& dialog, const DialogContext& context) {
    InstanceState* state = context.instanceState;
    FilterRecord* record = context.filterRecord;
    // Kept: the paint below may handle a command that stops the animation.
    const bool animated = state->animate != 0;
    if (animated) {
        state->animationPhase = (state->animationPhase + 1) % kAnimationPhases;
        record->time = AnimationTime(record->total, state->animationPhase);
        state->previewDirty = 1;
    }
    if (state->recompileNeeded != 0) {
        FieldsToFormulas(dialog, context.params);
        CompileAll(context);
    }
    if (state->previewDirty == 0) return;
    UpdatePreview(dialog, context);
    // The slider follows the animation whether or not the paint completed.
    if (animated)
        dialog.port->sendMessage(dialog.window, IDC_PREVIEW_SLIDER, kSliderSetPosition,
                                 static_cast<uintptr_t>(static_cast<uint32_t>(record->time)), kSliderRedraw);
}

void UpdatePreview(const SettingsDialog& dialog, const DialogContext& context) {
    ShowErrorButtons(dialog, context.instanceState);
    PaintPreview(dialog, context);
}

void PaintPreview(const SettingsDialog& dialog, const DialogContext& context) {
    const ControlsPort& port = *dialog.port;
    InstanceState* state = context.instanceState;
    FilterRecord* record = context.filterRecord;
    Rect preview{};
    if (!port.controlRect(dialog.window, IDC_PREVIEW, &preview)) return;

    // Interrupted, or no memory to decode into: try again next tick.
    if (RenderInOwnWorkspace(record, state, context.params, dialog.services->inputWaiting, kSourceByCallback) !=
        kRenderDone)
        return;

    RvDeviceContext dc = port.beginDrawing(dialog.window);
    const Rect outline{preview.left - 1, preview.top - 1, preview.right + 1, preview.bottom + 1};
    port.frameRect(dc, &outline, port.stockBrush(kBlackBrush));
    PixelMap* destination = *record->destinationMap;
    port.drawPixelMap(&destination, dc, &destination->bounds, &preview);
    port.endDrawing(dialog.window, dc);
    state->previewDirty = 0;
}

void PauseAnimation(const SettingsDialog& dialog, InstanceState* state) {
    dialog.memory->pausedAnimate = state->animate;
    state->animate = 0;
}

void ResumeAnimation(const SettingsDialog& dialog, InstanceState* state) {
    state->animate = dialog.memory->pausedAnimate;
}
