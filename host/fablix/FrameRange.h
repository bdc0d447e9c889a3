// The frames a clip render covers: "--frames A:B", both ends included.
#pragma once

#include <cstdint>
#include <string>

struct FrameRange {
    int32_t first = 0;
    int32_t last = -1;  // -1: up to the clip's last frame
};

// "A:B", "A:" (to the end), ":B" (from frame 0) or "N" (that frame alone),
// with whole numbers 0 <= A <= B. False for anything else.
bool ParseFrameRange(const std::string& text, FrameRange* range);

// Settles an open end against a clip of `frameCount` frames. False, with a
// one-line message, when the range reaches past the clip's last frame.
bool FitFrameRange(FrameRange* range, int32_t frameCount, std::string* message);
