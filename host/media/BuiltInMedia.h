// Pictures made in code, so the tool can be tried without any input file and
// tests have known content: a still test image and a short test clip. Both
// are pure integer arithmetic, hence identical on every machine.
#pragma once

#include <cstdint>

#include "Frame.h"

constexpr int32_t kTestImageWidth = 640;
constexpr int32_t kTestImageHeight = 480;

constexpr int32_t kTestClipWidth = 640;
constexpr int32_t kTestClipHeight = 360;
constexpr int32_t kTestClipFrames = 48;
constexpr int32_t kTestClipRate = 24;  // frames per second

// The test image: colour bars over the top third, a hue gradient darkening
// downwards in the middle, and at the bottom a checker with an orange disc
// (left) beside gray, red, green and blue ramps (right). Always kMediaOk.
MediaCode MakeTestImage(Frame& frame);

// Frame `index` (0 to kTestClipFrames - 1) of the test clip: a scrolling hue
// gradient that loops over the clip, a white square moving right, a dark
// disc bouncing up and down while drifting left, and a progress band whose
// edge advances every frame. kMediaBadArgument for an index outside the clip.
MediaCode MakeTestClipFrame(int32_t index, Frame& frame);

// The hue wheel in integer steps: `hue` 0 to 1535 (256 steps per sextant,
// red at 0, yellow 256, green 512 ...), `value` 0 to 255 scales brightness.
// Writes blue, green, red, 255 into `pixel`.
void HuePixel(int32_t hue, int32_t value, uint8_t* pixel);
