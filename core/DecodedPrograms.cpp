#include "DecodedPrograms.h"

#include <cstring>
#include <new>

namespace {

struct DecodedEntry {
    const InstanceState* state;  // whose areas were decoded; nullptr before the first
    uint8_t areas[kFormulaCount][kCodeAreaSize];
    FormulaPrograms programs;
};

// Made once and kept for the life of the process.
DecodedEntry* gEntry = nullptr;

}  // namespace

FormulaPrograms* DecodedPrograms(const InstanceState* state) {
    if (gEntry == nullptr) {
        gEntry = new (std::nothrow) DecodedEntry;
        if (gEntry == nullptr) return nullptr;
        gEntry->state = nullptr;
    }
    // Comparing 8 KB per frame is cheap; a decode happens only after a compile.
    if (gEntry->state != state || std::memcmp(gEntry->areas, state->codeAreas, sizeof gEntry->areas) != 0) {
        std::memcpy(gEntry->areas, state->codeAreas, sizeof gEntry->areas);
        DecodeFormulas(state, &gEntry->programs);
        gEntry->state = state;
    }
    return &gEntry->programs;
}
