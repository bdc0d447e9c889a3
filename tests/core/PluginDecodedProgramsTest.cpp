// The process-wide entry of decoded programs: decoded again only when the
// state or its code areas change, and then exactly as DecodeFormulas does.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "CompileDriver.h"
#include "DecodedPrograms.h"

namespace {

std::unique_ptr<InstanceState> StateWith(const char* f0, const char* f1, const char* f2, const char* f3) {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), 0, sizeof(InstanceState));
    const char* formulas[kFormulaCount] = {f0, f1, f2, f3};
    for (int32_t i = 0; i < kFormulaCount; ++i) std::strcpy(state->params.formula[i], formulas[i]);
    CompileFormulas(state.get(), &state->params);
    return state;
}

void ExpectDecodedFrom(const FormulaPrograms* programs, const InstanceState* state) {
    auto expected = std::make_unique<FormulaPrograms>();
    DecodeFormulas(state, expected.get());
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        const Program& got = programs->program[i];
        const Program& want = expected->program[i];
        ASSERT_EQ(got.count, want.count) << i;
        EXPECT_EQ(got.maxDepth, want.maxDepth) << i;
        for (int32_t k = 0; k < want.count; ++k) {
            EXPECT_EQ(got.code[k].op, want.code[k].op) << i << " " << k;
            EXPECT_EQ(got.code[k].value, want.code[k].value) << i << " " << k;
        }
    }
}

// A mark that only a decode overwrites.
constexpr int32_t kMark = -12345;

TEST(DecodedPrograms, DecodesTheStatesAreas) {
    auto state = StateWith("x+1", "y*2", "min(r,g)", "a");
    FormulaPrograms* programs = DecodedPrograms(state.get());
    ASSERT_NE(programs, nullptr);
    ExpectDecodedFrom(programs, state.get());
}

TEST(DecodedPrograms, KeepsTheProgramsWhileStateAndAreasStayTheSame) {
    auto state = StateWith("x+1", "y*2", "3", "a");
    FormulaPrograms* programs = DecodedPrograms(state.get());
    ASSERT_NE(programs, nullptr);
    programs->program[2].count = kMark;
    // Bytes outside the code areas do not count.
    state->x = 99;
    state->params.formula[0][0] = 'y';
    EXPECT_EQ(DecodedPrograms(state.get()), programs);
    EXPECT_EQ(programs->program[2].count, kMark);
}

TEST(DecodedPrograms, DecodesAgainWhenAnyAreaByteChanges) {
    const int32_t areas[] = {0, 3};
    for (int32_t area : areas) {
        auto state = StateWith("x+1", "y*2", "3", "a");
        FormulaPrograms* programs = DecodedPrograms(state.get());
        ASSERT_NE(programs, nullptr);
        programs->program[1].count = kMark;
        // A recompile with other code, and a stray byte past the end of the code.
        int32_t start = 0, end = 1, length = kCodeAreaSize;
        CompileFormula("t", &start, &end, state->codeAreas[area], &length);
        EXPECT_EQ(DecodedPrograms(state.get()), programs);
        ExpectDecodedFrom(programs, state.get());
        programs->program[1].count = kMark;
        state->codeAreas[area][kCodeAreaSize - 1] ^= 1;
        DecodedPrograms(state.get());
        EXPECT_NE(programs->program[1].count, kMark) << area;
    }
}

TEST(DecodedPrograms, DecodesAgainForAnotherStateWithTheSameBytes) {
    auto first = StateWith("x", "y", "p", "a");
    auto second = StateWith("x", "y", "p", "a");
    FormulaPrograms* programs = DecodedPrograms(first.get());
    ASSERT_NE(programs, nullptr);
    programs->program[0].count = kMark;
    EXPECT_EQ(DecodedPrograms(second.get()), programs);
    ExpectDecodedFrom(programs, second.get());
    programs->program[0].count = kMark;
    DecodedPrograms(first.get());
    EXPECT_NE(programs->program[0].count, kMark);
}

}  // namespace
