// The settings dialog's preview: 160 x 120 pixels of the current filter on
// one frame of the clip, the frame slider under it, the animation through
// nine evenly spaced times, and the 250 ms tick that recompiles after
// edits and repaints what is dirty. Handlers only set flags in the
// InstanceState; the tick acts on them.
#pragma once

#include "SettingsDialog.h"

enum : int32_t {
    kPreviewWidth = 160,
    kPreviewHeight = 120,
    kAnimationPhases = 9,  // times 0, total/8, ..., total
};

// Sizes and places the preview frame, the frame slider and the animation
// check box in pixels against the dialog's right edge.
void LayOutPreview(const SettingsDialog& dialog);

// One tick of timer 1: the animation step, the recompile of edited
// formulas, and the repaint of a dirty preview.
void PreviewTick(const SettingsDialog& dialog, const DialogContext& context);

// The error buttons by compileFailed, then the preview paint.
void UpdatePreview(const SettingsDialog& dialog, const DialogContext& context);

// Renders the record's frame with the current code and draws it into the
// preview frame. When input is waiting the render stops, nothing is drawn
// and the preview stays dirty.
void PaintPreview(const SettingsDialog& dialog, const DialogContext& context);

// Around nested dialogs: the animation holds still and then goes on from
// the same phase.
void PauseAnimation(const SettingsDialog& dialog, InstanceState* state);
void ResumeAnimation(const SettingsDialog& dialog, InstanceState* state);

// The animated time of `phase` (0..8): total * phase / 8 in 32-bit
// arithmetic, truncated toward zero.
int32_t AnimationTime(int32_t total, int32_t phase);
