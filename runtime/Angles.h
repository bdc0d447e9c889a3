// Angles of the formula language: 1/1024 of a turn, the cosine table's
// steps. One home for the constants that the polar and trigonometric
// functions and the table's expansion share.
#pragma once

#include <cstdint>

#include "InstanceState.h"

enum : int32_t {
    kFullTurn = kTableEntries,    // 1024 steps
    kAngleMask = kFullTurn - 1,   // an angle's step in the table: its low 10 bits
    kRightAngle = kFullTurn / 4,  // 256
    kHalfTurn = kFullTurn / 2,    // 512
    kCosineScaleShift = 14,       // the cosine table holds cos * 2^14
    // Rounds (m * cos) >> 14 to nearest, halves down.
    kCosineRound = (1 << (kCosineScaleShift - 1)) - 1,
    kSineCosineShift = 5,  // "sin" and "cos" scale the table to 512
};
