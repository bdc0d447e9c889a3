// The interpreter: runs a decoded program on the machine model of the code
// areas (top value T, value stack S, record R) with exact 32-bit semantics.
// It is the reference that every other executor is tested against.
#pragma once

#include <cstdint>

#include "InstanceState.h"
#include "Program.h"

// Runs `program` for the pixel and channel that `state` describes and
// returns the formula's value before clamping.
int32_t RunProgram(const Program* program, InstanceState* state);

// Runs `code` up to its Return with the constants and column tables given:
// a part of a program, for the passes that compute parts ahead of time.
int32_t RunCode(const Instruction* code, const int32_t* constants, const int32_t* columnValues, InstanceState* state);

// Runs a pixel program (JoinChannels) from channel `channelMin` on,
// storing the value of channel p in results[p].
void RunPixelProgram(const Program* program, InstanceState* state, int32_t results[kFormulaCount]);
