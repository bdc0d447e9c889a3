// The tool's renderer: one filter instance, compiled once, rendering frames
// exactly as the plug-in's execute does.
#pragma once

#include <cstdint>
#include <memory>

#include "Frame.h"
#include "Render.h"

struct Renderer {
    std::unique_ptr<InstanceState> state;
    std::unique_ptr<FormulaPrograms> programs;
    const FilterParams* params = nullptr;  // the state's own block
};

// Loads the tables, compiles and decodes `params` once. Prints the compile
// diagnostics as warnings: a formula that fails renders as 0.
void StartRenderer(Renderer& renderer, const FilterParams& params);

// Renders `source` at `time` of a clip whose last frame is `total` into
// `destination`, which must have the source's size.
void RenderOneFrame(Renderer& renderer, Frame& source, Frame& destination, int32_t time,
                    int32_t total);
