#include "SettingsDialog.h"

#include <cstdio>
#include <cstring>

#include "Build.h"
#include "DialogSteps.h"
#include "ErrorBox.h"
#include "Preview.h"
#include "RESOURCE.h"
#include "SettingsFiles.h"
#include "SlotText.h"

namespace {

// Bits of the compact dialog's mask, one per slider.
constexpr uint32_t SliderBit(int32_t k) { return 1u << k; }

void SetSlotText(const SettingsDialog& dialog, int32_t id, const char (&slot)[kTextSlotSize]) {
    char text[kTextSlotSize];
    CopySlotText(text, slot);
    dialog.port->setText(dialog.window, id, text);
}

void FormulaVisibility(const SettingsDialog& dialog, const FilterParams* params) {
    const bool visible = params->singleExpression == 0;
    const int32_t ids[] = {IDC_FORMULA_0,       IDC_FORMULA_0 + 1,   IDC_FORMULA_0 + 2,  IDC_FORMULA_LABEL_2,
                           IDC_FORMULA_LABEL_1, IDC_FORMULA_LABEL_0, IDC_FORMULA_LABEL_3};
    for (int32_t id : ids) dialog.port->show(dialog.window, id, visible);
}

// Only the sliders and maps the plug-in's author enabled stay: a map keeps
// both its sliders under its one label; an enabled slider whose map is off
// keeps its own name.
void ApplyCompactRule(const SettingsDialog& dialog, const FilterParams* params) {
    const ControlsPort& port = *dialog.port;
    uint32_t mask = 0;
    for (int32_t i = 0; i < kMapCount; ++i) {
        if (params->mapEnabled[i] == 0) continue;
        mask |= SliderBit(2 * i) | SliderBit(2 * i + 1);
        port.show(dialog.window, IDC_MAP_NAME_0 + i, true);
        SetSlotText(dialog, IDC_MAP_NAME_0 + i, params->mapName[i]);
    }
    for (int32_t k = 0; k < kSliderCount; ++k) {
        if (params->sliderEnabled[k] != 0 && (mask & SliderBit(k)) == 0) {
            mask |= SliderBit(k);
            SetSlotText(dialog, IDC_SLIDER_NAME_0 + k, params->sliderName[k]);
        } else {
            port.show(dialog.window, IDC_SLIDER_NAME_0 + k, false);
        }
        if ((mask & SliderBit(k)) == 0) {
            port.show(dialog.window, IDC_SLIDER_VALUE_0 + k, false);
            port.destroyControl(dialog.window, IDC_SLIDER_0 + k);
        }
    }
}

// Makes a slider in place of its placeholder; one that cannot be made is
// reported and left out, and the dialog opens without it.
bool MakeSlider(const SettingsDialog& dialog, const FilterParams* params, int32_t placeholder, int32_t id,
                uint32_t style, RvThumbPainter painter, int32_t maximum) {
    const ControlsPort& port = *dialog.port;
    if (!port.replaceBySlider(dialog.window, placeholder, id, style)) {
        ErrorBox(*dialog.services, params, IDS_CREATE_DIALOG_FAILED);
        return false;
    }
    port.sendMessage(dialog.window, id, kSliderSetPainter, 0, reinterpret_cast<intptr_t>(painter));
    const uint32_t range = static_cast<uint32_t>(maximum & 0xFFFF) << 16;  // minimum 0
    port.sendMessage(dialog.window, id, kSliderSetRange, 0, static_cast<intptr_t>(range));
    return true;
}

void MakeSliders(const SettingsDialog& dialog, const DialogContext& context) {
    const ControlsPort& port = *dialog.port;
    const FilterParams* params = context.params;
    if (MakeSlider(dialog, params, IDC_PREVIEW_SLIDER, IDC_PREVIEW_SLIDER, kPreviewSliderStyle, port.hostThumbPainter,
                   context.filterRecord->total))
        port.sendMessage(dialog.window, IDC_PREVIEW_SLIDER, kSliderSetPosition, 0, kSliderRedraw);
    for (int32_t k = 0; k < kSliderCount; ++k)
        MakeSlider(dialog, params, IDC_SLIDER_PLACEHOLDER_0 + k, IDC_SLIDER_0 + k, kParameterSliderStyle,
                   port.ownThumbPainter, 255);
}

void SetCaption(const SettingsDialog& dialog, const FilterParams* params) {
    char format[kCaptionCapacity];
    if (dialog.services->loadString(IDS_SETTINGS_CAPTION, format, sizeof format) < 0) return;
    char title[kTextSlotSize];
    CopySlotText(title, params->title);
    char caption[kCaptionCapacity];
    FormatCaption(format, title, caption, sizeof caption);
    dialog.port->setCaption(dialog.window, caption);
}

void SelectFailedSpan(const SettingsDialog& dialog, const InstanceState* state, int32_t i) {
    dialog.port->selectText(dialog.window, IDC_FORMULA_0 + i, state->errorStart[i], state->errorEnd[i]);
    dialog.port->focus(dialog.window, IDC_FORMULA_0 + i);
}

void Ok(const SettingsDialog& dialog, const DialogContext& context) {
    // A built plug-in's dialog has nothing to check: its formulas are fixed.
    if (context.params->built != 0) {
        dialog.port->endDialog(dialog.window, kDialogEndOk);
        return;
    }
    FieldsToFormulas(dialog, context.params);
    CompileAll(context);
    UpdatePreview(dialog, context);
    const InstanceState* state = context.instanceState;
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        if (state->compileFailed[i] == 0) continue;
        SelectFailedSpan(dialog, state, i);
        dialog.services->beep();
        return;
    }
    dialog.port->endDialog(dialog.window, kDialogEndOk);
}

// The restored formulas are compiled too: the code areas would otherwise go
// on rendering the edited formulas that the block no longer holds.
void Cancel(const SettingsDialog& dialog, const DialogContext& context) {
    std::memcpy(context.params, &dialog.memory->cancelCopy, sizeof(FilterParams));
    CompileAll(context);
    dialog.port->endDialog(dialog.window, kDialogEndCancel);
}

void ParameterSliderMoved(const SettingsDialog& dialog, const DialogContext& context, int32_t id) {
    const ControlsPort& port = *dialog.port;
    const int32_t position = static_cast<int32_t>(port.sendMessage(dialog.window, id, kSliderGetPosition, 0, 0));
    const int32_t label = id - IDC_SLIDER_0 + IDC_SLIDER_VALUE_0;
    ShowSliderNumber(dialog, label, position);
    port.repaintNow(dialog.window, label);
    ControlsToSliders(dialog, context.params);
    context.instanceState->previewDirty = 1;
}

void Build(const SettingsDialog& dialog, const DialogContext& context) {
    PauseAnimation(dialog, context.instanceState);
    RunBuildCommand(dialog, context);
    ResumeAnimation(dialog, context.instanceState);
}

void LoadOrSave(const SettingsDialog& dialog, const DialogContext& context, bool load) {
    PauseAnimation(dialog, context.instanceState);
    if (load)
        LoadSettings(dialog, context);
    else
        SaveSettings(dialog, context);
    ResumeAnimation(dialog, context.instanceState);
}

}  // namespace

DialogContext* SettingsDialogContext(const SettingsDialog& dialog) {
    RvHandle handle = dialog.port->getDialogData(dialog.window);
    return handle != nullptr ? static_cast<DialogContext*>(*handle) : nullptr;
}

void FormatCaption(const char* format, const char* title, char* caption, int32_t capacity) {
    const char* slot = std::strstr(format, "%s");
    const size_t room = static_cast<size_t>(capacity) - 1;
    if (slot == nullptr) {
        std::snprintf(caption, static_cast<size_t>(capacity), "%s", format);
        return;
    }
    const size_t before = static_cast<size_t>(slot - format);
    const char* after = slot + 2;
    const size_t fixed = before + std::strlen(after);
    const size_t titleRoom = fixed < room ? room - fixed : 0;
    std::snprintf(caption, static_cast<size_t>(capacity), "%.*s%.*s%s", static_cast<int>(before), format,
                  static_cast<int>(titleRoom), title, after);
}

void InitSettingsDialog(const SettingsDialog& dialog, RvHandle contextHandle) {
    const ControlsPort& port = *dialog.port;
    port.setDialogData(dialog.window, contextHandle);
    const DialogContext& context = *static_cast<DialogContext*>(*contextHandle);
    FilterParams* params = context.params;
    std::memcpy(&dialog.memory->cancelCopy, params, sizeof(FilterParams));
    MakeSliders(dialog, context);
    LayOutPreview(dialog);
    FormulasToFields(dialog, params);
    SlidersToControls(dialog, params);
    if (context.compact != 0) {
        ApplyCompactRule(dialog, params);
        SetSlotText(dialog, IDC_AUTHOR, params->author);
    }
    port.setCheck(dialog.window, IDC_SINGLE_EXPRESSION, params->singleExpression != 0);
    FormulaVisibility(dialog, params);
    CompileAll(context);
    SetCaption(dialog, params);
    port.prepareDialog(dialog.window);
    context.instanceState->animate = 0;
    port.startTimer(dialog.window, kPreviewTimerPeriod);
}

void SettingsDialogCommand(const SettingsDialog& dialog, int32_t id, int32_t code) {
    DialogContext* context = SettingsDialogContext(dialog);
    if (context == nullptr) return;
    const ControlsPort& port = *dialog.port;
    InstanceState* state = context->instanceState;
    FilterParams* params = context->params;
    if (id >= IDC_FORMULA_0 && id < IDC_FORMULA_0 + kFormulaCount) {
        if (code == kFieldChanged) state->recompileNeeded = 1;
    } else if (id >= IDC_ERROR_BUTTON_0 && id < IDC_ERROR_BUTTON_0 + kFormulaCount) {
        const int32_t i = id - IDC_ERROR_BUTTON_0;
        if (state->compileFailed[i] != 0) SelectFailedSpan(dialog, state, i);
    } else if (id >= IDC_SLIDER_0 && id < IDC_SLIDER_0 + kSliderCount) {
        ParameterSliderMoved(dialog, *context, id);
    } else {
        switch (id) {
        case IDC_OK: Ok(dialog, *context); break;
        case IDC_CANCEL: Cancel(dialog, *context); break;
        case IDC_SINGLE_EXPRESSION:
            params->singleExpression = port.isChecked(dialog.window, id) ? 1 : 0;
            FormulaVisibility(dialog, params);
            CompileAll(*context);
            // The fields may hold edits the block has not seen yet.
            state->recompileNeeded = 1;
            break;
        case IDC_ANIMATE:
            state->animate = port.isChecked(dialog.window, id) ? 1 : 0;
            if (state->animate != 0) state->animationPhase = 0;
            break;
        case IDC_LOAD: LoadOrSave(dialog, *context, true); break;
        case IDC_SAVE: LoadOrSave(dialog, *context, false); break;
        case IDC_BUILD: Build(dialog, *context); break;
        case IDC_PREVIEW_SLIDER:
            context->filterRecord->time =
                static_cast<int32_t>(port.sendMessage(dialog.window, id, kSliderGetPosition, 0, 0));
            state->previewDirty = 1;
            break;
        default: break;
        }
    }
}

void SettingsDialogTimer(const SettingsDialog& dialog) {
    DialogContext* context = SettingsDialogContext(dialog);
    if (context != nullptr) PreviewTick(dialog, *context);
}

void SettingsDialogPaint(const SettingsDialog& dialog) {
    DialogContext* context = SettingsDialogContext(dialog);
    if (context != nullptr) UpdatePreview(dialog, *context);
}

void DrawErrorButton(const SettingsDialog& dialog, RvDeviceContext dc, bool entireItem) {
    if (entireItem) dialog.port->drawDialogIcon(dc, 0, 0);
}

void SettingsDialogDestroyed(const SettingsDialog& dialog) { dialog.port->stopTimer(dialog.window); }
