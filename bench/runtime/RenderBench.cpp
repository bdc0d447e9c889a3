// Render speed of the executors on a 1920 x 1080 frame, per formula set;
// and the cost of making a native kernel, which the live editor pays at
// every keystroke.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "CompileDriver.h"
#include "DefaultParams.h"
#include "Render.h"
#include "TableResources.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;

struct Fixture {
    std::vector<uint8_t> source, destination;
    PixelMap sourceMap{}, destinationMap{};
    PixelMap* sourceHandle = &sourceMap;
    PixelMap* destinationHandle = &destinationMap;
    FilterRecord record{};
    std::unique_ptr<InstanceState> state = std::make_unique<InstanceState>();
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();

    explicit Fixture(const char* const formulas[kFormulaCount]) {
        source.resize(size_t(kWidth) * kHeight * 4);
        destination.resize(source.size());
        for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(i * 7 + (i >> 13));
        for (PixelMap* map : {&sourceMap, &destinationMap}) {
            map->bounds = {0, 0, kWidth, kHeight};
            map->rowBytes = kWidth * 4;
        }
        sourceMap.baseAddress = source.data();
        destinationMap.baseAddress = destination.data();
        record.sourceMap = &sourceHandle;
        record.destinationMap = &destinationHandle;
        LoadDefaultParams(&state->params);
        for (int32_t i = 0; i < kFormulaCount && formulas; ++i) std::strcpy(state->params.formula[i], formulas[i]);
        LoadLookupTables(state.get());
        CompileFormulas(state.get(), &state->params);
        DecodeFormulas(state.get(), &workspace->programs);
    }
};

// Each set on the best executor, and on the interpreter alone (the
// reference) for comparison in the same run.
void RenderFormulas(benchmark::State& loop, const char* const formulas[kFormulaCount]) {
    Fixture f(formulas);
    f.workspace->programs.executor = static_cast<ExecutorChoice>(loop.range(0));
    for (auto _ : loop) {
        RenderFilterFrame(&f.record, f.state.get(), &f.state->params, f.workspace.get(), nullptr, kSourceHoldsFrame);
        benchmark::DoNotOptimize(f.destination.data());
    }
    loop.counters["Mpixel/s"] =
        benchmark::Counter(double(kWidth) * kHeight * double(loop.iterations()), benchmark::Counter::kIsRate);
}

const char* const kIdentity[] = {"b", "g", "r", "a"};
const char* const kPolar[] = {"rad(d+32,m,0)", "rad(d+32,m,1)", "rad(d+32,m,2)", "a"};
const char* const kBlur[] = {"cnv(1,2,1,2,4,2,1,2,1,16)", "cnv(1,2,1,2,4,2,1,2,1,16)", "cnv(1,2,1,2,4,2,1,2,1,16)",
                             "a"};
const char* const kNoise[] = {"c+rnd(0-32,32)", "c+rnd(0-32,32)", "c+rnd(0-32,32)", "a"};

void Identity(benchmark::State& loop) { RenderFormulas(loop, kIdentity); }
void DefaultBlock(benchmark::State& loop) { RenderFormulas(loop, nullptr); }
void Polar(benchmark::State& loop) { RenderFormulas(loop, kPolar); }
void Blur(benchmark::State& loop) { RenderFormulas(loop, kBlur); }
void Noise(benchmark::State& loop) { RenderFormulas(loop, kNoise); }

// The yardstick of the identity: a memcpy of a frame of the same size.
void FrameMemcpy(benchmark::State& loop) {
    std::vector<uint8_t> source(size_t(kWidth) * kHeight * 4, 1), destination(source.size());
    for (auto _ : loop) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
}

const char* const kTwirl[] = {"rad(d+val(0,0,512)*max(M/3-m,0)/(M/3),m,p)",
                              "rad(d+val(0,0,512)*max(M/3-m,0)/(M/3),m,p)",
                              "rad(d+val(0,0,512)*max(M/3-m,0)/(M/3),m,p)", "a"};

// Makes the kernel of the four formulas afresh each time: the sharing
// plan, the encoding and the change of the memory to read-only and
// executable, as after a compile.
void MakeNativeKernel(benchmark::State& loop, const char* const formulas[kFormulaCount]) {
    Fixture f(formulas);
    RenderFilterFrame(&f.record, f.state.get(), &f.state->params, f.workspace.get(), nullptr, kSourceHoldsFrame);
    FormulaPrograms& programs = f.workspace->programs;
    if (programs.plan.native == kNoNativeIsa) return loop.SkipWithError("no native kernel for these formulas");
    const Program* program = programs.plan.anyPerRow ? &programs.folded : &programs.pixel;
    for (auto _ : loop) {
        programs.kernel.reset();
        benchmark::DoNotOptimize(PrepareNativeKernel(program, false, programs.plan.native, &programs.kernel));
    }
}

// The whole step from decoded programs to a frame's plan, kernel included.
void PrepareWithNewKernel(benchmark::State& loop, const char* const formulas[kFormulaCount]) {
    Fixture f(formulas);
    SetFrameContext(&f.record, f.state.get());
    PrepareFrame(&f.record, f.state.get(), &f.state->params);
    for (auto _ : loop) {
        f.workspace->programs.kernel.reset();
        PreparePrograms(f.state.get(), &f.state->params, &f.workspace->programs);
    }
    if (f.workspace->programs.plan.native == kNoNativeIsa) loop.SkipWithError("no native kernel for these formulas");
}

void KernelDefaultBlock(benchmark::State& loop) { MakeNativeKernel(loop, nullptr); }
void KernelTwirl(benchmark::State& loop) { MakeNativeKernel(loop, kTwirl); }
void KernelBlur(benchmark::State& loop) { MakeNativeKernel(loop, kBlur); }
void PrepareDefaultBlock(benchmark::State& loop) { PrepareWithNewKernel(loop, nullptr); }

}  // namespace

BENCHMARK(KernelDefaultBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(KernelTwirl)->Unit(benchmark::kMicrosecond);
BENCHMARK(KernelBlur)->Unit(benchmark::kMicrosecond);
BENCHMARK(PrepareDefaultBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(FrameMemcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(Identity)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("executor")
    ->Arg(kBestExecutor)
    ->Arg(kVectorOnly)
    ->Arg(kInterpreterOnly);
BENCHMARK(DefaultBlock)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("executor")
    ->Arg(kBestExecutor)
    ->Arg(kVectorOnly)
    ->Arg(kInterpreterOnly);
BENCHMARK(Polar)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("executor")
    ->Arg(kBestExecutor)
    ->Arg(kVectorOnly)
    ->Arg(kInterpreterOnly);
BENCHMARK(Blur)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("executor")
    ->Arg(kBestExecutor)
    ->Arg(kVectorOnly)
    ->Arg(kInterpreterOnly);
BENCHMARK(Noise)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("executor")
    ->Arg(kBestExecutor)
    ->Arg(kVectorOnly)
    ->Arg(kInterpreterOnly);
