#include "Renderer.h"

#include <cstring>

#include "CompileDriver.h"
#include "Diagnostics.h"
#include "LookupTables.h"
#include "MediaResult.h"

namespace {

struct RenderMaps {
    PixelMap source{}, destination{};
    PixelMap* sourceHandle = &source;
    PixelMap* destinationHandle = &destination;
};

void FillRecord(FilterRecord& record, RenderMaps& maps, Frame& source, Frame& destination, int32_t time,
                int32_t total) {
    PointPixelMapAt(maps.source, source);
    PointPixelMapAt(maps.destination, destination);
    record.sourceMap = &maps.sourceHandle;
    record.destinationMap = &maps.destinationHandle;
    record.time = time;
    record.total = total;
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

void StartRenderer(Renderer& renderer, const FilterParams& params) {
    renderer.state = std::make_unique<InstanceState>();
    renderer.workspace = std::make_unique<RenderWorkspace>();
    InstanceState* state = renderer.state.get();
    state->params = params;
    renderer.params = &state->params;
    LoadLookupTables(state);
    CompileFormulas(state, renderer.params);
    PrintDiagnostics(state, renderer.params, "warning", stderr);
    DecodeFormulas(state, &renderer.workspace->programs);
}

void RenderOneFrame(Renderer& renderer, Frame& source, Frame& destination, int32_t time,
                    int32_t total) {
    RenderMaps maps;
    FilterRecord record{};
    FillRecord(record, maps, source, destination, time, total);
    // The source already holds the frame at `time`, as on execute.
    RenderFilterFrame(&record, renderer.state.get(), renderer.params, renderer.workspace.get(), nullptr,
                      kSourceHoldsFrame);
}

int32_t RenderClipFrame(Renderer& renderer, ClipSource& source, Frame& destination, int32_t time,
                        int32_t total, InputProbe probe) {
    // The map must show what the instance saw last, or the loop would skip
    // the callback for a frame it never had; a fresh instance has time 0.
    if (source.shown != renderer.state->time && LoadSourceFrame(source, renderer.state->time) != kMediaOk)
        return source.failure;
    RenderMaps maps;
    FilterRecord record{};
    FillRecord(record, maps, source.frame, destination, time, total);
    record.sourceFrameCallback = LoadFrameForTime;
    record.callbackData = reinterpret_cast<intptr_t>(&source);
    source.failure = kMediaOk;
    const int32_t finished = RenderFilterFrame(&record, renderer.state.get(), renderer.params,
                                               renderer.workspace.get(), probe, kSourceByCallback);
    if (source.failure != kMediaOk) return source.failure;
    return finished ? kRenderDone : kRenderInterrupted;
}
