#include "Execute.h"

#include <algorithm>

#include "CompileDriver.h"
#include "Entry.h"
#include "Input.h"
#include "Program.h"
#include "Render.h"
#include "Threads.h"

int16_t Execute(FilterRecord* record, InstanceState* state) {
    // An area that begins with "error" has no prolog either, so a formula 0
    // that failed outright is compiled again on every execute.
    if (!HasCompiledCode(state->codeAreas[0])) CompileFormulas(state, &state->params);
    // The record has no room for decoded programs and the plug-in keeps no
    // state of its own between calls, so any number of records can render
    // at once. The frame goes in bands to every processor the host's
    // process may use; the host's thread alone looks for input and calls back.
    const BandThreads threads{RunOnStartedThreads, nullptr};
    RenderInOwnWorkspace(record, state, &state->params, IsInputWaiting, kSourceHoldsFrame, &threads,
                         std::min(UsableProcessors(), kMaxStartedThreads + 1));
    return kEntryOk;
}
