#include "Renderer.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CompileDriver.h"
#include "MediaResult.h"
#include "TableResources.h"
#include "Threads.h"

namespace {

void PointRecordAt(HostedFilterRecord& frames, Frame& source, Frame& destination, int32_t time, int32_t total) {
    PointPixelMapAt(frames.source, source);
    PointPixelMapAt(frames.destination, destination);
    frames.record.time = time;
    frames.record.total = total;
}

// The host's routine behind sourceFrameCallback: loads the frame at `time`
// and points the map at it. A frame that fails to load leaves the map on
// whatever the source still holds (nothing: no rows), and the failure is
// kept in the source for the caller.
void FABLIX_STDCALL LoadFrameForTime(int32_t time, PixelMap** /*sourceMap*/, PixelMap* map, intptr_t data) {
    ClipSource& source = *reinterpret_cast<ClipSource*>(data);
    LoadSourceFrame(source, time);
    PointPixelMapAt(*map, source.frame);
}

}  // namespace

int32_t DefaultThreadCount() { return UsableProcessors(); }

namespace {

// A thread's share: the frame it renders into, the source it renders from,
// a copy on its way to the encoder, its instance, and its stack's address
// space. Besides: the frames read ahead and the one being written.
constexpr int64_t kFramesPerThread = 3;
constexpr int64_t kFramesBesides = 6;
constexpr int64_t kStackBytes = int64_t{8} << 20;

// The memory the system can give without swapping: MemAvailable counts
// the caches it would drop, which free pages alone leave out.
int64_t SystemMemoryAvailable() {
    int64_t available = int64_t(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    if (FILE* info = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        long long kilobytes = 0;
        while (std::fgets(line, sizeof line, info))
            if (std::sscanf(line, "MemAvailable: %lld kB", &kilobytes) == 1) available = int64_t(kilobytes) * 1024;
        std::fclose(info);
    }
    return available;
}

// What this process may still take: the memory the system has, and under
// an address-space limit what is left below it.
int64_t MemoryLeft() {
    const int64_t page = sysconf(_SC_PAGESIZE);
    int64_t left = SystemMemoryAvailable();
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        int64_t used = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            long pages = 0;
            if (std::fscanf(statm, "%ld", &pages) == 1) used = int64_t(pages) * page;
            std::fclose(statm);
        }
        left = std::min<int64_t>(left, int64_t(limit.rlim_cur) - used);
    }
    return std::max<int64_t>(left, 0);
}

}  // namespace

int32_t BoundThreadCount(int32_t requested, int32_t width, int32_t height, std::string* why) {
    const int32_t cores = DefaultThreadCount();
    int32_t threads = requested > 0 ? requested : cores;
    if (threads > cores) {
        threads = cores;
        *why = "the cores this process may use";
    }
    const int64_t frameBytes = int64_t{width} * height * 4;
    const int64_t threadBytes =
        kFramesPerThread * frameBytes + int64_t(sizeof(InstanceState) + sizeof(RenderWorkspace)) + kStackBytes;
    const int64_t fitting = (MemoryLeft() - kFramesBesides * frameBytes) / threadBytes;
    if (threads > 1 && fitting < threads) {
        threads = int32_t(std::max<int64_t>(fitting, 1));
        *why = "the memory left for frames of " + std::to_string(width) + " x " + std::to_string(height);
    }
    return threads;
}

void StartRenderer(Renderer& renderer, const FilterParams& params, int32_t threads) {
    renderer.workers.clear();
    renderer.helpers.clear();
    RenderWorker first{std::make_unique<InstanceState>(), std::make_unique<RenderWorkspace>()};
    InstanceState* state = first.state.get();
    state->params = params;
    renderer.params = &state->params;
    LoadLookupTables(state);
    CompileFormulas(state, &state->params);
    DecodeFormulas(state, &first.workspace->programs);
    renderer.workers.push_back(std::move(first));
    for (int32_t k = 1; k < threads; ++k) {
        RenderWorker worker{std::make_unique<InstanceState>(*state), std::make_unique<RenderWorkspace>()};
        DecodeFormulas(worker.state.get(), &worker.workspace->programs);
        renderer.helpers.push_back({worker.state.get(), &worker.workspace->rows});
        renderer.workers.push_back(std::move(worker));
    }
}

void RenderOneFrame(Renderer& renderer, Frame& source, Frame& destination, int32_t time, int32_t total) {
    HostedFilterRecord frames;
    PointRecordAt(frames, source, destination, time, total);
    RenderWorker& lead = renderer.workers[0];
    RenderFilterFrame(&frames.record, lead.state.get(), renderer.params, lead.workspace.get(), nullptr,
                      kSourceHoldsFrame, renderer.helpers.data(), static_cast<int32_t>(renderer.helpers.size()));
}

RenderResult RenderWithWorker(Renderer& renderer, int32_t k, Frame& source, Frame& destination, int32_t time,
                              int32_t total, InputProbe probe) {
    HostedFilterRecord frames;
    PointRecordAt(frames, source, destination, time, total);
    RenderWorker& worker = renderer.workers[static_cast<size_t>(k)];
    return RenderFilterFrame(&frames.record, worker.state.get(), &worker.state->params, worker.workspace.get(), probe,
                             kSourceHoldsFrame);
}

MediaCode RenderClipFrame(Renderer& renderer, ClipSource& source, Frame& destination, int32_t time, int32_t total,
                          InputProbe probe) {
    RenderWorker& lead = renderer.workers[0];
    // The map must show what the instance saw last, or the loop would skip
    // the callback for a frame it never had; a fresh instance has time 0.
    if (source.shown != lead.state->time && LoadSourceFrame(source, lead.state->time) != kMediaOk)
        return source.failure;
    HostedFilterRecord frames;
    PointRecordAt(frames, source.frame, destination, time, total);
    frames.record.sourceFrameCallback = LoadFrameForTime;
    frames.record.callbackData = reinterpret_cast<intptr_t>(&source);
    source.failure = kMediaOk;
    const RenderResult rendered =
        RenderFilterFrame(&frames.record, lead.state.get(), renderer.params, lead.workspace.get(), probe,
                          kSourceByCallback, renderer.helpers.data(), static_cast<int32_t>(renderer.helpers.size()));
    if (source.failure != kMediaOk) return source.failure;
    return rendered == kRenderDone ? kMediaOk : kMediaInterrupted;
}
