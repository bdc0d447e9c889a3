#include "CompileDriver.h"

#include <cstring>

#include "CompilerInternal.h"

namespace {

// A compile of [textStart, textEnd) whose lexer reads on from textPos, into
// `capacity` bytes at `area`.
CompileContext StartCompile(const uint8_t* textStart, const uint8_t* textPos, const uint8_t* textEnd, uint8_t* area,
                            int32_t capacity) {
    return CompileContext{' ',           kTokenNone, 0, {}, textStart, textPos, textEnd, area, area, area + capacity,
                          kTemplateTable};
}

// The span of the current token, from textStart. It ends just past the
// token: at the look-ahead character, or at the end of the text once that
// is reached.
void TokenSpan(const CompileContext& context, int32_t* start, int32_t* end) {
    *end = static_cast<int32_t>(context.textPos - context.textStart) - (context.lookahead != 0 ? 1 : 0);
    *start = *end - context.tokenLength;
}

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

}  // namespace

bool CompileFormula(const char* text, int32_t* start, int32_t* end, uint8_t* area, int32_t* capacity) {
    const uint8_t* textStart = Bytes(text) + *start;
    CompileContext context = StartCompile(textStart, textStart, Bytes(text) + *end, area, *capacity);
    ParseFormula(&context);
    *capacity = static_cast<int32_t>(context.codePos - context.codeStart);
    TokenSpan(context, start, end);
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

FormulaToken ScanFormulaToken(const char* text, int32_t length, int32_t from) {
    CompileContext context = StartCompile(Bytes(text), Bytes(text) + from, Bytes(text) + length, nullptr, 0);
    NextToken(&context);
    FormulaToken token;
    token.token = context.token;
    token.length = context.tokenLength;
    std::memcpy(token.text, context.tokenText, sizeof token.text);
    TokenSpan(context, &token.start, &token.end);
    return token;
}
