// The frame rate a built frei0r plug-in carries beside its parameter block,
// in a section of its own (FABLIX_TIMING_SECTION, builder/ElfImage.h): a
// host hands a plug-in its time, not its frame rate, and a built plug-in
// has no parameter to take one.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct BuiltTiming {
    int32_t size;             // sizeof(BuiltTiming); a section of another size is not this record
    int32_t framesPerSecond;  // 1 and up: "t" = the host's time in seconds x this
};
#pragma pack(pop)
static_assert(offsetof(BuiltTiming, size) == 0);
static_assert(offsetof(BuiltTiming, framesPerSecond) == 4);
static_assert(sizeof(BuiltTiming) == 8);

constexpr int32_t kDefaultBuiltFramesPerSecond = 25;
constexpr int32_t kMaxBuiltFramesPerSecond = 1000;
