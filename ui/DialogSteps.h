// Steps that several of the settings dialog's handlers share: moving the
// block's formulas and slider values to and from the controls, and the
// compile of all four formulas.
#pragma once

#include "SettingsDialog.h"

// Field 201+i shows formula[i].
void FormulasToFields(const SettingsDialog& dialog, const FilterParams* params);
// formula[i] takes field 201+i's text, at most 1023 characters; a field
// the dialog does not have leaves its formula as it is.
void FieldsToFormulas(const SettingsDialog& dialog, FilterParams* params);
// Slider 401+k takes sliderValue[k] and label 123+k shows it.
void SlidersToControls(const SettingsDialog& dialog, const FilterParams* params);
// sliderValue[k] takes slider 401+k's position; a slider the dialog does
// not have (a built plug-in's hidden one) leaves its value as it is.
void ControlsToSliders(const SettingsDialog& dialog, FilterParams* params);
// Label `id` shows `value` as an unsigned decimal number.
void ShowSliderNumber(const SettingsDialog& dialog, int32_t id, int32_t value);
// Compiles the block's four formulas; marks the preview dirty.
void CompileAll(const DialogContext& context);
