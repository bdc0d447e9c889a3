// The native executor: a specialised pixel program turned into x86-64
// machine code (AVX-512 or AVX2) with the value stack in vector registers,
// so a run of pixels goes through the whole program without a round trip
// through memory per operation. Bit-exact with the interpreter.
//
// The code depends on the program's operations alone, never on its literal
// values: literals, folded per frame and per row, are read from a table the
// executor fills for every row, so one kernel serves every frame and row
// of the same formulas and is made once per compile. Programs with an
// operation it has no code for ("sqr", "scl" but for its folded forms), or
// deeper than its registers, are left to the vector executor. It also runs
// programs whose "put" and "get" stay within a pixel (CellsStayInPixel),
// each lane with cells of its own, and "rnd" with its draws made in the
// generator's order.
#pragma once

#include <cstdint>
#include <memory>

#include "InstanceState.h"
#include "Program.h"
#include "VectorExecutor.h"

enum NativeIsa : int32_t {
    kNoNativeIsa = 0,
    kNativeAvx2 = 1,    // 8 lanes
    kNativeAvx512 = 2,  // 16 lanes
};

enum : int32_t {
    kNativeMaxLanes = 16,
    kNativeChunk = 256,  // pixels a kernel call takes at most: the draws of "rnd" are made per chunk
};

// True when this build has the native executor and the processor runs `isa`.
bool NativeIsaSupported(NativeIsa isa);

// The best instruction set this processor offers the native executor.
NativeIsa BestNativeIsa();

const char* NativeIsaName(NativeIsa isa);

// A program's machine code in memory that is read-only and executable,
// with the operations it was made for; freed with its owner.
struct NativeKernel;
struct NativeKernelFree {
    void operator()(NativeKernel* kernel) const;
};
using NativeKernelPtr = std::unique_ptr<NativeKernel, NativeKernelFree>;

// Where the kernel's code lies.
const void* NativeKernelCode(const NativeKernel* kernel);

// Makes `*kernel` the kernel of `program` at `isa` (one value for all four
// bytes when `single`), keeping the one it holds when that was made for
// the same operations. False when the program cannot run natively; the
// kernel is then released.
bool PrepareNativeKernel(const Program* program, bool single, NativeIsa isa, NativeKernelPtr* kernel);

// The per-row scratch of the native executor.
struct NativeWorkspace {
    int32_t literals[2 * kMaxInstructions];
    // A chunk's draws, and room for the lanes of its last vector past them.
    int32_t draws[(kNativeChunk + kNativeMaxLanes) * kMaxDrawsPerPixel];
    alignas(64) uint32_t tailIn[kNativeMaxLanes];
    alignas(64) uint32_t tailOut[kNativeMaxLanes];
};

// Renders `run` (every pixel stored: run.storeCount == run.count) with
// `kernel`, reading the tables that PrepareVectorTables put into `lanes`.
// False, with nothing written, when the run's program is not of the
// operations the kernel was made for; the caller renders it otherwise.
bool RenderNativeRun(const NativeKernel* kernel, const VectorRun& run, InstanceState* state,
                     const VectorWorkspace* lanes, NativeWorkspace* native);
