// The settings dialog: the editor of a filter's parameter block, in its
// full form (template 101, the formula editor) and its compact form
// (template 102, a built plug-in with controls). The platform's dialog
// procedure turns window messages into calls of these handlers.
#pragma once

#include <cstdint>

#include "ControlsPort.h"
#include "DialogContext.h"
#include "FilterParams.h"
#include "Services.h"

// What the dialog keeps between messages besides the block: the copy that
// Cancel restores, and `animate` while a nested dialog pauses it. The
// platform keeps one for its one open settings dialog.
struct SettingsDialogMemory {
    FilterParams cancelCopy;
    int16_t pausedAnimate;
};

// One dialog as the handlers see it: its window, the port that reaches its
// controls, the platform's services, and its memory.
struct SettingsDialog {
    const ControlsPort* port;
    const Services* services;
    RvWindow window;
    SettingsDialogMemory* memory;
};

enum : int32_t {
    kDialogEndOk = 1,
    kDialogEndCancel = 2,
    kPreviewTimerPeriod = 250,  // milliseconds
    kErrorButtonSize = 16,      // the owner-drawn error buttons, in pixels
    kCaptionCapacity = 256,
};

// Initialisation: attaches the DialogContext handle, keeps the Cancel copy,
// makes the sliders, lays out the preview, fills the controls, compiles,
// sets the caption and starts the timer.
void InitSettingsDialog(const SettingsDialog& dialog, RvHandle contextHandle);

// A command from control `id` with notification `code`.
void SettingsDialogCommand(const SettingsDialog& dialog, int32_t id, int32_t code);

// A tick of timer 1: the animation, the recompile and the repaint.
void SettingsDialogTimer(const SettingsDialog& dialog);

// The paint message: the error buttons and the preview.
void SettingsDialogPaint(const SettingsDialog& dialog);

// An owner-drawn error button asks to be drawn; only a request to draw the
// entire item draws anything: the dialog icon at the item's origin.
void DrawErrorButton(const SettingsDialog& dialog, RvDeviceContext dc, bool entireItem);

// The dialog is being destroyed: the timer stops.
void SettingsDialogDestroyed(const SettingsDialog& dialog);

// The context attached to the dialog, or nullptr before initialisation.
DialogContext* SettingsDialogContext(const SettingsDialog& dialog);

// "%s Settings" (or whatever `format` says) with `title` for its "%s",
// the title cut so that the whole fits `capacity` bytes; the format stands
// as it is when it holds no "%s".
void FormatCaption(const char* format, const char* title, char* caption, int32_t capacity);
