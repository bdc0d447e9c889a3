#include "BuiltInMedia.h"

#include "MediaResult.h"

namespace {

void SetPixel(uint8_t* pixel, int32_t red, int32_t green, int32_t blue) {
    pixel[0] = uint8_t(blue);
    pixel[1] = uint8_t(green);
    pixel[2] = uint8_t(red);
    pixel[3] = 255;
}

bool InDisc(int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t radius) {
    int32_t dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
}

// Bars in the usual order, at full level so each edge is a full-range step.
constexpr int32_t kBars[8][3] = {
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 0, 255}, {0, 0, 0},
};

}  // namespace

void HuePixel(int32_t hue, int32_t value, uint8_t* pixel) {
    hue %= 1536;
    if (hue < 0) hue += 1536;
    int32_t f = hue & 255, red = 0, green = 0, blue = 0;
    switch (hue >> 8) {
    case 0: red = 255, green = f; break;
    case 1: red = 255 - f, green = 255; break;
    case 2: green = 255, blue = f; break;
    case 3: green = 255 - f, blue = 255; break;
    case 4: red = f, blue = 255; break;
    default: red = 255, blue = 255 - f; break;
    }
    auto scale = [value](int32_t c) { return (c * value + 127) / 255; };
    SetPixel(pixel, scale(red), scale(green), scale(blue));
}

MediaCode MakeTestImage(Frame& frame) {
    MakeFrame(frame, kTestImageWidth, kTestImageHeight);
    for (int32_t y = 0; y < kTestImageHeight; ++y) {
        for (int32_t x = 0; x < kTestImageWidth; ++x) {
            uint8_t* pixel = FramePixel(frame, x, y);
            if (y < 160) {
                const int32_t* bar = kBars[x / 80];
                SetPixel(pixel, bar[0], bar[1], bar[2]);
            } else if (y < 320) {
                HuePixel(x * 1536 / kTestImageWidth, 255 - (y - 160) * 255 / 159, pixel);
            } else if (x < 320) {
                if (InDisc(x, y, 160, 400, 64)) {
                    SetPixel(pixel, 255, 128, 0);
                } else {
                    int32_t level = ((x / 20 + (y - 320) / 20) & 1) ? 0 : 255;
                    SetPixel(pixel, level, level, level);
                }
            } else {
                int32_t level = (x - 320) * 255 / 319;
                if (y < 400)
                    SetPixel(pixel, level, level, level);
                else if (y < 427)
                    SetPixel(pixel, level, 0, 0);
                else if (y < 454)
                    SetPixel(pixel, 0, level, 0);
                else
                    SetPixel(pixel, 0, 0, level);
            }
        }
    }
    return kMediaOk;
}

MediaCode MakeTestClipFrame(int32_t index, Frame& frame) {
    if (index < 0 || index >= kTestClipFrames) {
        frame = Frame{};
        return kMediaBadArgument;
    }
    MakeFrame(frame, kTestClipWidth, kTestClipHeight);
    const int32_t squareLeft = 32 + index * 11, squareTop = 48;
    const int32_t discX = 480 - index * 6;
    const int32_t bounce = index % 24 - 12;
    const int32_t discY = 140 + (bounce < 0 ? -bounce : bounce) * 10;
    const int32_t bandEdge = (index + 1) * kTestClipWidth / kTestClipFrames;
    for (int32_t y = 0; y < kTestClipHeight; ++y) {
        for (int32_t x = 0; x < kTestClipWidth; ++x) {
            uint8_t* pixel = FramePixel(frame, x, y);
            if (y >= 330) {
                int32_t level = x < bandEdge ? 255 : 0;
                SetPixel(pixel, level, level, level);
            } else if (x >= squareLeft && x < squareLeft + 64 && y >= squareTop && y < squareTop + 64) {
                SetPixel(pixel, 255, 255, 255);
            } else if (InDisc(x, y, discX, discY, 40)) {
                SetPixel(pixel, 20, 20, 20);
            } else {
                // 32 hue steps a frame: the gradient scrolls one full turn per clip.
                HuePixel(x * 1536 / kTestClipWidth + index * 32, 255 - y * 159 / 329, pixel);
            }
        }
    }
    return kMediaOk;
}
