// The compile driver: turns formula texts into code areas, recording per
// formula whether it compiled, the error span and the code length.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "InstanceState.h"

// Compiles text[*start, *end) into `area` of `*capacity` bytes. On return
// [*start, *end) is the span of the token at which parsing stopped and
// *capacity the code length. True when the formula compiled.
bool CompileFormula(const char* text, int32_t* start, int32_t* end, uint8_t* area,
                    int32_t* capacity);

// Compiles formula[0..3] of `params` into the code areas of `state` and
// records the four results; then clears recompileNeeded and sets
// previewDirty.
void CompileFormulas(InstanceState* state, const FilterParams* params);
