// A clip's frames through decoding, rendering and encoding at once: one
// thread reads ahead, every worker of the renderer renders a frame of its
// own, and the calling thread hands the frames on in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ClipSource.h"
#include "Renderer.h"

// Takes frame `time` rendered; returns kMediaOk or a MediaCode with `message`.
using FrameSink = std::function<MediaCode(int32_t time, const Frame& frame, std::string& message)>;

// Renders frames first..last of `source` (times first..last, total `total`)
// and gives each to `sink` in order, on the calling thread. Returns
// kMediaOk; kMediaInterrupted when `probe` asked to stop; or the
// MediaCode of a frame that could not be read or taken, with `message`.
// The frames are byte for byte those of one worker rendering in order.
MediaCode RunClipPipeline(Renderer& renderer, ClipSource& source, int32_t first, int32_t last, int32_t total,
                          InputProbe probe, const FrameSink& sink, std::string& message);
