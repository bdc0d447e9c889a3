#include "CompileDriver.h"

#include <cstring>

#include "Parser.h"

bool CompileFormula(const char* text, int32_t* start, int32_t* end, uint8_t* area,
                    int32_t* capacity) {
    CompileContext context;
    context.lookahead = ' ';
    context.token = kTokenNone;
    context.tokenLength = 0;
    context.tokenText[0] = 0;
    context.textStart = reinterpret_cast<const uint8_t*>(text) + *start;
    context.textPos = context.textStart;
    context.textEnd = reinterpret_cast<const uint8_t*>(text) + *end;
    context.codeStart = area;
    context.codePos = area;
    context.codeEnd = area + *capacity;
    context.templates = kTemplateTable;

    ParseFormula(&context);

    // The span ends just past the current token: at the look-ahead
    // character, or at the end of the text once that is reached.
    const int32_t errorEnd = static_cast<int32_t>(context.textPos - context.textStart) -
                             (context.lookahead != 0 ? 1 : 0);
    *capacity = static_cast<int32_t>(context.codePos - context.codeStart);
    *end = errorEnd;
    *start = errorEnd - context.tokenLength;
    return context.token == kTokenEnd;
}

void CompileFormulas(InstanceState* state, const FilterParams* params) {
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        const char* text = params->formula[i];
        int32_t start = 0;
        int32_t end = static_cast<int32_t>(strnlen(text, kFormulaSlotSize));
        int32_t length = kCodeAreaSize;
        state->compileFailed[i] = CompileFormula(text, &start, &end, state->codeAreas[i], &length) ? 0 : 1;
        state->errorStart[i] = start;
        state->errorEnd[i] = end;
        state->codeLength[i] = length;
    }
    state->recompileNeeded = 0;
    state->previewDirty = 1;
}
