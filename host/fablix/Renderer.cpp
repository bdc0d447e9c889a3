#include "Renderer.h"

#include <cstring>

#include "CompileDriver.h"
#include "Diagnostics.h"
#include "LookupTables.h"

void StartRenderer(Renderer& renderer, const FilterParams& params) {
    renderer.state = std::make_unique<InstanceState>();
    renderer.programs = std::make_unique<FormulaPrograms>();
    InstanceState* state = renderer.state.get();
    state->params = params;
    renderer.params = &state->params;
    LoadLookupTables(state);
    CompileFormulas(state, renderer.params);
    PrintDiagnostics(state, renderer.params, "warning", stderr);
    DecodeFormulas(state, renderer.programs.get());
}

void RenderOneFrame(Renderer& renderer, Frame& source, Frame& destination, int32_t time,
                    int32_t total) {
    PixelMap sourceMap{}, destinationMap{};
    PointPixelMapAt(sourceMap, source);
    PointPixelMapAt(destinationMap, destination);
    PixelMap* sourceHandle = &sourceMap;
    PixelMap* destinationHandle = &destinationMap;
    FilterRecord record{};
    record.sourceMap = &sourceHandle;
    record.destinationMap = &destinationHandle;
    record.time = time;
    record.total = total;
    // The source already holds the frame at `time`, as on execute.
    renderer.state->time = time;
    PrepareFrame(&record, renderer.state.get(), renderer.params);
    RenderFrame(&record, renderer.state.get(), renderer.params, renderer.programs.get(), nullptr);
}
