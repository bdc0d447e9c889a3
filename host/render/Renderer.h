// The tool's renderer: one filter instance per thread, compiled once,
// rendering frames exactly as the plug-in's execute does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ClipSource.h"
#include "Frame.h"
#include "MediaResult.h"
#include "Render.h"

// One thread's instance: its own state (the block, tables and code areas
// of the first) and workspace.
struct RenderWorker {
    std::unique_ptr<InstanceState> state;
    std::unique_ptr<RenderWorkspace> workspace;
};

struct Renderer {
    std::vector<RenderWorker> workers;     // at least one
    std::vector<RowHelper> helpers;        // workers 1.. as helpers of worker 0
    const FilterParams* params = nullptr;  // worker 0's own block
};

// The threads to use when the user does not say: every core.
int32_t DefaultThreadCount();

// `requested` threads (0: every core) lowered to the cores this process
// may use and to what the memory left holds of frames of width x height in
// flight (each thread renders one, and a few more wait to be rendered and
// written). At least 1. `why` says what lowered it, when it was lowered.
int32_t BoundThreadCount(int32_t requested, int32_t width, int32_t height, std::string* why);

// Loads the tables, compiles and decodes `params` once, for `threads`
// workers, silently: a formula that fails renders as 0, as in the plug-in
// (CheckBlockFormulas is what tells the user).
void StartRenderer(Renderer& renderer, const FilterParams& params, int32_t threads);

// Renders `source` at `time` of a clip whose last frame is `total` into
// `destination`, which must have the source's size, on every worker (bands
// of rows when the formulas allow). The source already holds the frame at
// `time`, as on execute.
void RenderOneFrame(Renderer& renderer, Frame& source, Frame& destination, int32_t time, int32_t total);

// Renders a frame on worker `k` alone, as RenderOneFrame does. Returns
// kRenderDone, or kRenderStopped when `probe` asked to stop.
RenderResult RenderWithWorker(Renderer& renderer, int32_t k, Frame& source, Frame& destination, int32_t time,
                              int32_t total, InputProbe probe);

// Renders the frame at `time` of a clip whose last frame is `total`, as a
// host with the clip open does: the source map shows the frame the instance
// rendered last, and the record's sourceFrameCallback loads the frame at
// `time` when the render loop finds the instance's time different. Returns
// kMediaOk, kMediaInterrupted when `probe` asked to stop (the destination is
// incomplete), or the MediaCode of a source frame that failed to load (the
// source's message says why).
MediaCode RenderClipFrame(Renderer& renderer, ClipSource& source, Frame& destination, int32_t time, int32_t total,
                          InputProbe probe);
