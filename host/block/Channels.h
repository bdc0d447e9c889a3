// The channel letters of the command line, in formula order: formula 0 is
// blue.
#pragma once

#include <cstdint>
#include <cstring>

#include "FilterParams.h"

constexpr char kChannelLetters[kFormulaCount + 1] = "bgra";
constexpr const char* kChannelNames[kFormulaCount] = {"B", "G", "R", "A"};

// The formula index of a channel letter, or -1.
inline int32_t ChannelIndex(char letter) {
    const char* found = std::strchr(kChannelLetters, letter);
    return letter != 0 && found != nullptr ? static_cast<int32_t>(found - kChannelLetters) : -1;
}
