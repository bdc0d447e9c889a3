// The frei0r instance on a 1920 x 1080 frame on 1 and 2 threads, wall time
// (the threads' work is the point): the plug-in's own scaling, without the
// host's pipeline around it. The default block, and film grain ("rnd",
// one band per thread).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "FilterInstance.h"

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;

const char* const kGrain[kFormulaCount] = {"b+put(rnd(-val(0,0,64),val(0,0,64)),0)", "g+get(0)", "r+get(0)", "a"};

// An instance on the benchmark's threads; null, the run skipped, when none.
std::unique_ptr<FilterInstance> InstanceOn(benchmark::State& run) {
    auto instance = MakeFilterInstance(kWidth, kHeight);
    if (instance && SetFrameThreads(*instance, static_cast<int32_t>(run.range(0)))) return instance;
    run.SkipWithError("no instance");
    return nullptr;
}

void Frame(benchmark::State& run, bool grain) {
    auto instance = InstanceOn(run);
    if (!instance) return;
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

// The same with the host's own work between frames, as FFmpeg converts the
// next frame on the calling thread while the helpers wait: only the frame's
// call is timed.
void DefaultBlockBetweenHostWork(benchmark::State& run) {
    auto instance = InstanceOn(run);
    if (!instance) return;
    std::vector<uint32_t> in(size_t(kWidth) * kHeight), out(in.size()), host(in.size() * 2);
    double time = 0;
    for (auto _ : run) {
        for (size_t i = 0; i < in.size(); ++i) in[i] = uint32_t(i * 2654435761u + uint32_t(time * 25));
        for (size_t i = 0; i < host.size(); ++i) host[i] += uint32_t(i);
        const auto start = std::chrono::steady_clock::now();
        RenderInstanceFrame(*instance, time, in.data(), out.data());
        run.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        time += 0.04;
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(DefaultBlockBetweenHostWork)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
