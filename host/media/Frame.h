// A frame in memory: 4-byte pixels in the host's byte order (blue, green,
// red, alpha), rows `rowBytes` apart. It never goes to disk as such, so it is
// an ordinary record.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "HostRecords.h"
#include "MediaResult.h"

// A frame's place in time, in its clip's time base: what a clip read gives
// and a clip written keeps.
constexpr int64_t kNoTimestamp = INT64_MIN;

struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowBytes = 0;
    std::vector<uint8_t> pixels;       // height * rowBytes bytes
    int64_t timestamp = kNoTimestamp;  // when it is shown; kNoTimestamp: frames follow at the clip's rate
    int64_t duration = 0;              // how long; 0: not known
};

// How a clip's pixels are meant, as FFmpeg's AVColorSpace, AVColorRange,
// AVColorPrimaries and AVColorTransferCharacteristic values (2: unspecified,
// 0 for the range). The matrix is the one the frames were converted with.
struct ClipColour {
    int32_t matrix = 2;
    int32_t range = 0;
    int32_t primaries = 2;
    int32_t transfer = 2;
};

// Makes `frame` width x height, every pixel transparent black, rows packed.
// kMediaBadArgument for a size below 1, kMediaTooLarge above kMaxFrameBytes;
// the frame is left empty on failure.
MediaCode MakeFrame(Frame& frame, int32_t width, int32_t height);

// The pixel at (x, y); the caller keeps x, y inside the frame.
inline uint8_t* FramePixel(Frame& frame, int32_t x, int32_t y) {
    return frame.pixels.data() + size_t(y) * size_t(frame.rowBytes) + size_t(x) * 4;
}
inline const uint8_t* FramePixel(const Frame& frame, int32_t x, int32_t y) {
    return frame.pixels.data() + size_t(y) * size_t(frame.rowBytes) + size_t(x) * 4;
}

// Points `map` at the frame's pixels: bounds 0, 0, width, height, the frame's
// rowBytes, baseAddress at the first pixel. The map stays valid while the
// frame's pixel storage is neither resized nor freed.
void PointPixelMapAt(PixelMap& map, Frame& frame);

// True when the frame's fields describe storage it really has: a size of at
// least 1 x 1, rows of at least width * 4 bytes, and all rows present.
bool FrameIsWhole(const Frame& frame);
