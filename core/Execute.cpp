#include "Execute.h"

#include <memory>
#include <new>

#include "CompileDriver.h"
#include "Entry.h"
#include "Input.h"
#include "Program.h"
#include "Render.h"

int16_t Execute(FilterRecord* record, InstanceState* state) {
    // An area that begins with "error" has no prolog either, so a formula 0
    // that failed outright is compiled again on every execute.
    if (!HasCompiledCode(state->codeAreas[0])) CompileFormulas(state, &state->params);
    // The record has no room for decoded programs, and the plug-in keeps no
    // state of its own between calls: each call decodes into a workspace of
    // its own (a decode costs microseconds, a frame milliseconds), so any
    // number of records render at once.
    std::unique_ptr<RenderWorkspace> workspace(new (std::nothrow) RenderWorkspace);
    if (workspace == nullptr) return kEntryOk;
    DecodeFormulas(state, &workspace->programs);
    RenderFilterFrame(record, state, &state->params, workspace.get(), IsInputWaiting, kSourceHoldsFrame);
    return kEntryOk;
}
