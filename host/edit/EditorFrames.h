// The frames the editor shows: the input (a still, a clip, or the built-in
// test clip) filtered by the session's block through the tool's renderer,
// exactly as `fablix render --time T` renders it, and the same frame
// unfiltered. The last frame is kept, so the page's views of one frame
// (the preview, its original, the PNG) render it once. Not thread-safe:
// the caller holds one lock around each call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClipSource.h"
#include "Renderer.h"

struct EditorFrames {
    ClipSource source;
    bool still = false;  // a still input: every time shows the same picture, and T is 0
    int32_t threads = 1;
    Renderer renderer;
    uint64_t rendererVersion = 0;  // of the block the renderer compiled; 0: none yet
    Frame filtered;                // the frame kept; the source's frame is then its original
    uint64_t frameVersion = 0;
    int32_t frameTime = -1;
};

// Opens `input` as `fablix render` does (a PNG still, else a clip through
// FFmpeg), or the built-in test clip when it is empty. False with `message`
// on failure.
bool OpenEditorFrames(EditorFrames& frames, const std::string& input, std::string& message);

// The last frame index, T.
int32_t LastFrame(const EditorFrames& frames);

// Renders the frame at `time` (0..T) for the block of version `version`,
// unless it is the frame kept. False with `message` when the input's frame
// cannot be read.
bool RenderEditorFrame(EditorFrames& frames, const FilterParams& params, uint64_t version, int32_t time,
                       std::string& message);

// The unfiltered frame of the one kept.
inline const Frame& OriginalFrame(const EditorFrames& frames) { return frames.source.frame; }

// The filtered frame kept, as the PNG `fablix render` writes; false with
// `message` when it cannot be encoded.
bool EncodeFramePng(const Frame& frame, std::vector<uint8_t>& png, std::string& message);

// The frame scaled to width x height (at most its own size, the aspect
// kept by the caller) as RGBA bytes, row after row, for a canvas.
void ScaleToRgba(const Frame& frame, int32_t width, int32_t height, std::vector<uint8_t>& rgba);
