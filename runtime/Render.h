// Frame preparation and the render loop: one piece of code whatever
// executor runs the formulas.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "HostRecords.h"
#include "InstanceState.h"
#include "Program.h"
#include "Folding.h"

// The four code areas of a state, decoded once per compile; the same
// programs specialised for the frame (with their column-only parts
// tabulated) and for the row being rendered; and those joined into one
// program per pixel.
struct FormulaPrograms {
    Program program[kFormulaCount];
    Program frame[kFormulaCount];
    Program row[kFormulaCount];
    Program pixel;
    ColumnTables columns;  // the column-only parts of the frame's programs
};

void DecodeFormulas(const InstanceState* state, FormulaPrograms* programs);

// Asked once per rendered row: true when the user pressed a key or the
// left mouse button and the render should stop.
using InputProbe = bool (*)();

// Derives the per-frame state from the block and the frame time: sliders,
// the four map tables, the random generator and the "put" cells.
void PrepareFrame(const FilterRecord* record, InstanceState* state, const FilterParams* params);

// Renders the record's source frame into its destination, pixel by pixel
// and channel by channel. Returns 1 when every row was rendered, 0 when
// `probe` (may be null) reported input after a row.
int32_t RenderFrame(FilterRecord* record, InstanceState* state, const FilterParams* params,
                    FormulaPrograms* programs, InputProbe probe);
