// The frei0r instance on a 1920 x 1080 frame on 1 and 2 threads, wall time
// (the threads' work is the point): the plug-in's own scaling, without the
// host's pipeline around it. The default block, and film grain ("rnd",
// one band per thread).
#include <benchmark/benchmark.h>

#include <vector>

#include "FilterInstance.h"

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;

const char* const kGrain[kFormulaCount] = {"b+put(rnd(-val(0,0,64),val(0,0,64)),0)", "g+get(0)", "r+get(0)", "a"};

void Frame(benchmark::State& run, bool grain) {
    auto instance = MakeFilterInstance(kWidth, kHeight);
    if (!instance || !SetFrameThreads(*instance, static_cast<int32_t>(run.range(0)))) {
        run.SkipWithError("no instance");
        return;
    }
    if (grain)
        for (int32_t i = 0; i < kFormulaCount; ++i) SetParamValue(*instance, kParamFormula0 + i, &kGrain[i]);
    std::vector<uint32_t> in(size_t(kWidth) * kHeight), out(in.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint32_t(i * 2654435761u);
    double time = 0;
    for (auto _ : run) {
        RenderInstanceFrame(*instance, time, in.data(), out.data());
        time += 0.04;
        benchmark::DoNotOptimize(out.data());
    }
}

void DefaultBlock(benchmark::State& run) { Frame(run, false); }
void FilmGrain(benchmark::State& run) { Frame(run, true); }

BENCHMARK(DefaultBlock)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FilmGrain)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
