#include "Frame.h"

#include <cstring>

#include "MediaResult.h"

MediaCode MakeFrame(Frame& frame, int32_t width, int32_t height) {
    frame = Frame{};
    if (width < 1 || height < 1) return kMediaBadArgument;
    if (!FrameSizeFits(width, height)) return kMediaTooLarge;
    frame.width = width;
    frame.height = height;
    frame.rowBytes = width * 4;
    frame.pixels.assign(size_t(frame.rowBytes) * size_t(height), 0);
    return kMediaOk;
}

void PointPixelMapAt(PixelMap& map, Frame& frame) {
    map.bounds = Rect{0, 0, frame.width, frame.height};
    map.rowBytes = frame.rowBytes;
    std::memset(map.unused, 0, sizeof map.unused);
    map.baseAddress = frame.pixels.empty() ? nullptr : frame.pixels.data();
}

bool FrameIsWhole(const Frame& frame) {
    if (frame.width < 1 || frame.height < 1) return false;
    if (int64_t(frame.rowBytes) < int64_t(frame.width) * 4) return false;
    return int64_t(frame.pixels.size()) >= int64_t(frame.rowBytes) * int64_t(frame.height);
}
