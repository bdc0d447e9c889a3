// The vector executor: runs a specialised program over a run of pixels of
// one row at once, one pixel per SIMD lane, bit-exact with the interpreter.
// Each operation runs over a whole block of lanes before the next, so the
// cost of dispatch is shared by the block. Built with Highway for several
// instruction sets; the best one the processor offers is chosen at run time.
#pragma once

#include <cstdint>

#include "InstanceState.h"
#include "Program.h"

enum : int32_t {
    kVectorBlock = 256,      // lanes per block: a multiple of every vector width
    kMaxVectorDepth = 64,    // values of a pixel program; deeper ones run on the interpreter
    kMaxDrawsPerPixel = 32,  // "rnd" calls per pixel the vector form takes
};

// Per worker: the values of a block, and the state's tables widened to
// 32-bit entries for gathers.
struct alignas(64) VectorWorkspace {
    // T and S, one row of lanes each; a channel's value stays in its row
    // while the next channel's values go above it.
    int32_t values[kMaxVectorDepth + 2][kVectorBlock];
    uint32_t pixels[kVectorBlock];  // the block's source pixels
    uint32_t packed[kVectorBlock];  // destination pixels short of a whole vector
    int32_t angle[kVectorBlock];    // "d" and "m" of the block, once computed
    int32_t distance[kVectorBlock];
    int32_t draws[kMaxDrawsPerPixel][kVectorBlock];      // "rnd" draws by call, then by pixel
    int32_t sequence[kMaxDrawsPerPixel * kVectorBlock];  // the same in the generator's order
    int32_t cosine[kTableEntries];
    int32_t sineCosine[kTableEntries];     // the same shifted as "sin" and "cos" give it
    int32_t baseAngle[kTableEntries + 1];  // the angle procedure's base angle by its quotient
    int32_t vector[kTableEntries];
    int32_t maps[int32_t{kMapCount} * kMapEntries];
    int32_t sliders[kSliderCount];
};

// True when the vector form of `program` computes exactly what the
// interpreter does in pixel order: it neither writes nor reads the "put"
// cells (whose order across pixels it would change) and fits the workspace.
// The channel programs joined into one pixel program must also fit
// together: the sum of their depths at most kMaxVectorDepth.
bool RunsVectorized(const Program* program);

// The "rnd" draws one run of `program` makes: every operation runs once per
// pixel, so the count is fixed.
int32_t DrawsPerPixel(const Program* program);

// Copies the tables of a prepared frame into the workspace.
void PrepareVectorTables(const InstanceState* state, VectorWorkspace* workspace);

// A run of pixels of the row that state->row names.
struct VectorRun {
    const Program* program;  // a pixel program, or one channel's in single-expression mode
    int32_t x;               // the first column
    int32_t count;           // pixels
    int32_t storeCount;      // of those, how many the destination holds
    int32_t draws;           // DrawsPerPixel of the program
    bool single;             // one value for all four bytes of a pixel
    const uint8_t* source;   // the first pixel in the source
    uint8_t* destination;    // and in the destination
};

// Renders `run`: computes every pixel as the render loop does, in the
// random generator's order, clamps and stores. The state's pixel context
// is left undefined.
void RenderVectorRun(const VectorRun& run, InstanceState* state, VectorWorkspace* workspace);

// The instruction sets this binary can use on this processor, best first,
// and a way to pin one for tests (0 lets the processor choose again).
int32_t VectorTargets(int64_t targets[], int32_t capacity);
const char* VectorTargetName(int64_t target);
void UseVectorTarget(int64_t target);
