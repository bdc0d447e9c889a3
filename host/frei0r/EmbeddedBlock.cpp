#include "EmbeddedBlock.h"

#include "ElfImage.h"

// The section must hold the record alone, as the writer finds it: no
// sanitizer's red zone after it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FABLIX_NO_RED_ZONE __attribute__((no_sanitize("address")))
#endif
#endif
#ifndef FABLIX_NO_RED_ZONE
#define FABLIX_NO_RED_ZONE
#endif

namespace {

// Only `size` and `built` matter in the editor's image: its instances start
// from the editor's default block. `used` keeps the record (and its
// section) even though the code only reaches it through the barrier below.
__attribute__((section(FABLIX_BLOCK_SECTION), used, aligned(16)))
FABLIX_NO_RED_ZONE const FilterParams kEmbeddedBlock = {kFilterParamsSize, 0};

__attribute__((section(FABLIX_TIMING_SECTION), used, aligned(8)))
FABLIX_NO_RED_ZONE const BuiltTiming kEmbeddedTiming = {sizeof(BuiltTiming), kDefaultBuiltFramesPerSecond};

}  // namespace

const FilterParams& EmbeddedBlock() {
    // The compiler knows the record's initial bytes and would fold `built`
    // to 0; the file's bytes are what count, so it must read them.
    const FilterParams* block = &kEmbeddedBlock;
    asm("" : "+r"(block));
    return *block;
}

int32_t EmbeddedFramesPerSecond() {
    const BuiltTiming* timing = &kEmbeddedTiming;
    asm("" : "+r"(timing));
    const bool whole = timing->size == int32_t{sizeof(BuiltTiming)} && timing->framesPerSecond >= 1 &&
                       timing->framesPerSecond <= kMaxBuiltFramesPerSecond;
    return whole ? timing->framesPerSecond : kDefaultBuiltFramesPerSecond;
}
