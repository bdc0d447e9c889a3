// Compile speed: CompileFormulas over the four formulas of the default
// block, the compile that every execute of a fresh record and every edit
// in the dialog pays for.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "CompileDriver.h"
#include "Program.h"

namespace {

const char* const kDefaultFormulas[kFormulaCount] = {
    "sin((x-scl(cos(y),-511,512,0,Y))*val(4,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(5,0,64))",
    "sin((x-scl(cos(y),-511,512,0,Y))*val(2,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(3,0,64))",
    "sin((x-scl(cos(y),-511,512,0,Y))*val(0,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(1,0,64))",
    "a",
};

std::unique_ptr<InstanceState> DefaultState() {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), 0, sizeof(InstanceState));
    for (int32_t i = 0; i < kFormulaCount; ++i) std::strcpy(state->params.formula[i], kDefaultFormulas[i]);
    return state;
}

void BM_CompileFormulasDefaultBlock(benchmark::State& bench) {
    auto state = DefaultState();
    int64_t characters = 0;
    for (const char* formula : kDefaultFormulas) characters += static_cast<int64_t>(std::strlen(formula));
    for (auto _ : bench) {
        CompileFormulas(state.get(), &state->params);
        benchmark::DoNotOptimize(state->codeAreas);
        benchmark::ClobberMemory();
    }
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        if (state->compileFailed[i] != 0) bench.SkipWithError("a default formula failed to compile");
    }
    bench.SetItemsProcessed(bench.iterations() * kFormulaCount);
    bench.SetBytesProcessed(bench.iterations() * characters);
}
BENCHMARK(BM_CompileFormulasDefaultBlock);

// The compile and the decode that follows it once per compile.
void BM_CompileAndDecodeDefaultBlock(benchmark::State& bench) {
    auto state = DefaultState();
    auto program = std::make_unique<Program>();
    for (auto _ : bench) {
        CompileFormulas(state.get(), &state->params);
        for (int32_t i = 0; i < kFormulaCount; ++i)
            benchmark::DoNotOptimize(DecodeCodeArea(state->codeAreas[i], kCodeAreaSize, program.get()));
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * kFormulaCount);
}
BENCHMARK(BM_CompileAndDecodeDefaultBlock);

}  // namespace
