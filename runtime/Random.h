// The subtractive random generator behind "rnd": lags 55 and 24, all
// arithmetic wrapping modulo 2^32, started afresh from the frame time at
// every frame so a frame always gets the same numbers.
#pragma once

#include <cstdint>

#include "InstanceState.h"

// Fills randomState from the time t; the cursors are set by the caller.
void StartRandom(InstanceState* state, int32_t t);

// The frame's start: both cursors at their first places (0 and 31), then
// the table filled from the time t.
void ResetRandom(InstanceState* state, int32_t t);

// Advances both cursors and returns the next draw, a signed 32-bit number.
int32_t DrawRandom(InstanceState* state);

// The next `count` draws into out[0..count), as `count` calls of DrawRandom.
void DrawRandoms(InstanceState* state, int32_t* out, int32_t count);

// Leaves the table and both cursors as `count` calls of DrawRandom would,
// in time logarithmic in `count`: so a band of rows can start drawing at
// its first pixel's place in the frame's order.
void SkipRandoms(InstanceState* state, uint64_t count);
