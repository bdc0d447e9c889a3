#include "Execute.h"

#include "CompileDriver.h"
#include "DecodedPrograms.h"
#include "Entry.h"
#include "Input.h"
#include "Program.h"
#include "Render.h"

int16_t Execute(FilterRecord* record, InstanceState* state) {
    // An area that begins with "error" has no prolog either, so a formula 0
    // that failed outright is compiled again on every execute.
    if (!HasCompiledCode(state->codeAreas[0])) CompileFormulas(state, &state->params);
    // The source already holds this frame: the render loop does not load it.
    state->time = record->time;
    PrepareFrame(record, state, &state->params);
    FormulaPrograms* programs = DecodedPrograms(state);
    if (programs != nullptr) RenderFrame(record, state, &state->params, programs, IsInputWaiting);
    return kEntryOk;
}
