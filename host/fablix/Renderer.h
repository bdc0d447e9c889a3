// The tool's renderer: one filter instance, compiled once, rendering frames
// exactly as the plug-in's execute does.
#pragma once

#include <cstdint>
#include <memory>

#include "ClipSource.h"
#include "Frame.h"
#include "Render.h"

struct Renderer {
    std::unique_ptr<InstanceState> state;
    std::unique_ptr<RenderWorkspace> workspace;
    const FilterParams* params = nullptr;  // the state's own block
};

// Loads the tables, compiles and decodes `params` once. Prints the compile
// diagnostics as warnings: a formula that fails renders as 0.
void StartRenderer(Renderer& renderer, const FilterParams& params);

// Renders `source` at `time` of a clip whose last frame is `total` into
// `destination`, which must have the source's size. The source already
// holds the frame at `time`, as on execute.
void RenderOneFrame(Renderer& renderer, Frame& source, Frame& destination, int32_t time,
                    int32_t total);

enum : int32_t {
    kRenderDone = 0,
    kRenderInterrupted = -1,  // `probe` asked to stop; the destination is incomplete
};

// Renders the frame at `time` of a clip whose last frame is `total`, as a
// host with the clip open does: the source map shows the frame the instance
// rendered last, and the record's sourceFrameCallback loads the frame at
// `time` when the render loop finds the instance's time different. Returns
// kRenderDone, kRenderInterrupted, or the MediaCode of a source frame that
// failed to load (the source's message says why).
int32_t RenderClipFrame(Renderer& renderer, ClipSource& source, Frame& destination, int32_t time,
                        int32_t total, InputProbe probe);
