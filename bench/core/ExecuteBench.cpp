// The plug-in's execute on a 1920 x 1080 frame, wall time, with the process
// confined to the first 1 and 2 of its processors: the bands execute
// renders inside one call of the host, against the host's thread alone.
// The default block, and film grain ("rnd", one band per thread).
#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstring>
#include <memory>
#include <vector>

#include "CompileDriver.h"
#include "DefaultParams.h"
#include "Execute.h"
#include "TableResources.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;

const char* const kGrain[kFormulaCount] = {"b+put(rnd(-val(0,0,64),val(0,0,64)),0)", "g+get(0)", "r+get(0)", "a"};

// The first `count` processors of `all`.
cpu_set_t FirstProcessors(const cpu_set_t& all, int64_t count) {
    cpu_set_t some;
    CPU_ZERO(&some);
    for (int32_t cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&some) < count; ++cpu)
        if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &some);
    return some;
}

void Frame(benchmark::State& run, bool grain) {
    cpu_set_t all;
    sched_getaffinity(0, sizeof all, &all);
    if (CPU_COUNT(&all) < run.range(0)) return run.SkipWithError("fewer processors");
    const cpu_set_t some = FirstProcessors(all, run.range(0));
    sched_setaffinity(0, sizeof some, &some);

    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), 0, sizeof(InstanceState));
    LoadDefaultParams(&state->params);
    if (grain)
        for (int32_t i = 0; i < kFormulaCount; ++i) std::strcpy(state->params.formula[i], kGrain[i]);
    LoadLookupTables(state.get());
    CompileFormulas(state.get(), &state->params);
    std::vector<uint8_t> in(size_t(kWidth) * kHeight * 4), out(in.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 2654435761u >> 24);
    PixelMap source{{0, 0, kWidth, kHeight}, kWidth * 4, {}, in.data()};
    PixelMap destination{{0, 0, kWidth, kHeight}, kWidth * 4, {}, out.data()};
    PixelMap* sourceHandle = &source;
    PixelMap* destinationHandle = &destination;
    FilterRecord record{};
    record.sourceMap = &sourceHandle;
    record.destinationMap = &destinationHandle;
    record.total = 1000;
    for (auto _ : run) {
        Execute(&record, state.get());
        ++record.time;
        benchmark::DoNotOptimize(out.data());
    }
    sched_setaffinity(0, sizeof all, &all);
}

void DefaultBlock(benchmark::State& run) { Frame(run, false); }
void FilmGrain(benchmark::State& run) { Frame(run, true); }

BENCHMARK(DefaultBlock)->ArgName("processors")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FilmGrain)->ArgName("processors")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
