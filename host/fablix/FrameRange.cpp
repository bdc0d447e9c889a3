#include "FrameRange.h"

#include <climits>

#include "Arguments.h"

bool ParseFrameRange(const std::string& text, FrameRange* range) {
    const size_t colon = text.find(':');
    FrameRange parsed;
    if (colon == std::string::npos) {
        if (!ParseNumber(text, 0, INT32_MAX, &parsed.first)) return false;
        parsed.last = parsed.first;
    } else {
        const std::string first = text.substr(0, colon), last = text.substr(colon + 1);
        if (first.empty() && last.empty()) return false;
        if (!first.empty() && !ParseNumber(first, 0, INT32_MAX, &parsed.first)) return false;
        if (!last.empty() && (!ParseNumber(last, 0, INT32_MAX, &parsed.last) || parsed.last < parsed.first))
            return false;
    }
    *range = parsed;
    return true;
}

bool FitFrameRange(FrameRange* range, int32_t frameCount, std::string* message) {
    const int32_t lastFrame = frameCount - 1;
    const int32_t last = range->last < 0 ? lastFrame : range->last;
    if (range->first > lastFrame || last > lastFrame) {
        const std::string shown = std::to_string(range->first) + ":" + (range->last < 0 ? "" : std::to_string(last));
        *message =
            "--frames " + shown + " reaches past the last frame; the clip has frames 0 to " + std::to_string(lastFrame);
        return false;
    }
    range->last = last;
    return true;
}
