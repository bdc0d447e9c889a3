// The angle and length procedures shared by the polar variables and the
// functions "c2d" and "c2m". Angles are in 1/1024 of a turn. Products are
// 64-bit, so results stay exact for components of any 32-bit size.
#pragma once

#include <cstdint>

#include "InstanceState.h"

// The base angle of (s, l) for 0 <= s <= l: 0..128.
int32_t BaseAngle(const InstanceState* state, uint32_t s, uint32_t l);

// The angle of (x, y) folded into its quadrant by the signs of x and y and
// made negative when `below`: -512..512.
int32_t FoldedAngle(const InstanceState* state, int32_t x, int32_t y, bool below);

// The angle of the vector (x, y), y counted upwards: -512..512.
int32_t VectorAngle(const InstanceState* state, int32_t x, int32_t y);

// The length of the vector (a, b).
int32_t VectorLength(const InstanceState* state, int32_t a, int32_t b);
