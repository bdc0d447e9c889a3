#include "DialogSteps.h"

#include <cstdio>
#include <cstring>

#include "CompileDriver.h"
#include "RESOURCE.h"
#include "SlotText.h"

void FormulasToFields(const SettingsDialog& dialog, const FilterParams* params) {
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        char text[kFormulaSlotSize];
        CopySlotText(text, params->formula[i]);
        dialog.port->setText(dialog.window, IDC_FORMULA_0 + i, text);
    }
}

void FieldsToFormulas(const SettingsDialog& dialog, FilterParams* params) {
    for (int32_t i = 0; i < kFormulaCount; ++i)
        dialog.port->getText(dialog.window, IDC_FORMULA_0 + i, params->formula[i], kFormulaSlotSize);
}

void ShowSliderNumber(const SettingsDialog& dialog, int32_t id, int32_t value) {
    char number[16];
    std::snprintf(number, sizeof number, "%u", static_cast<uint32_t>(value));
    dialog.port->setText(dialog.window, id, number);
}

void SlidersToControls(const SettingsDialog& dialog, const FilterParams* params) {
    for (int32_t k = 0; k < kSliderCount; ++k) {
        const int32_t value = params->sliderValue[k];
        dialog.port->sendMessage(dialog.window, IDC_SLIDER_0 + k, kSliderSetPosition,
                                 static_cast<uintptr_t>(static_cast<uint32_t>(value)), kSliderRedraw);
        ShowSliderNumber(dialog, IDC_SLIDER_VALUE_0 + k, value);
    }
}

void ControlsToSliders(const SettingsDialog& dialog, FilterParams* params) {
    for (int32_t k = 0; k < kSliderCount; ++k) {
        const int32_t id = IDC_SLIDER_0 + k;
        if (!dialog.port->hasControl(dialog.window, id)) continue;
        params->sliderValue[k] =
            static_cast<int32_t>(dialog.port->sendMessage(dialog.window, id, kSliderGetPosition, 0, 0));
    }
}

void CompileAll(const DialogContext& context) { CompileFormulas(context.instanceState, context.params); }
