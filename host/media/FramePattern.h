// Numbered file names of a clip written as one PNG per frame, such as
// "out/frame%04d.png": "%d" is the frame number, "%0Nd" or "%Nd" the number
// padded with zeros to N digits, "%%" a percent sign. One number field, in
// the file name itself.
#pragma once

#include <cstdint>
#include <string>

struct FramePattern {
    std::string folder;  // with its trailing separator; empty for the current folder
    std::string prefix;  // the file name before the number
    std::string suffix;  // and after it
    int32_t width = 0;   // digits at least; 0 and 1 alike
};

// Longest file name (without its folder) the tool writes, as most file
// systems allow.
constexpr size_t kMaxFileNameBytes = 255;

// Reads `pattern`. False, with `problem` saying why, for a name without a
// number field or with more than one, with a field in the folder part, or
// whose names would be longer than kMaxFileNameBytes.
bool ParseFramePattern(const std::string& pattern, FramePattern* parsed, std::string* problem);

// True when `pattern` holds a "%" at all: then it is meant as a pattern.
bool LooksLikeFramePattern(const std::string& pattern);

// The path of frame `index` (0 or more).
std::string FrameFileName(const FramePattern& pattern, int64_t index);

// The frame whose file name (without folder) is `name`, or -1 when `name`
// is no name of the pattern.
int64_t FrameIndexOfName(const FramePattern& pattern, const std::string& name);
