// Shared helpers of the runtime suites: states with tables, small frames,
// and one-call evaluation of a formula.
#pragma once

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "CompileDriver.h"
#include "Interpreter.h"
#include "Render.h"

// Set in the sanitizer builds, where the suites take fewer cases.
#if defined(__SANITIZE_ADDRESS__)
#define FABLIX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FABLIX_SANITIZED 1
#endif
#endif

// The three tables from their defining formulas.
inline void FillTables(InstanceState* state) {
    const double pi = std::acos(-1.0);
    for (int k = 0; k < kTableEntries; ++k) {
        state->cosineTable[k] = static_cast<int16_t>(std::lround(16384 * std::cos(2 * pi * k / 1024)));
        state->arctanTable[k] = static_cast<uint16_t>(std::lround(65536 * std::atan((k + 1) / 1024.0)));
        state->vectorTable[k] =
            static_cast<uint16_t>(std::floor(65536 * (std::sqrt(1 + (k / 1024.0) * (k / 1024.0)) - 1)) + 32);
    }
}

inline std::unique_ptr<InstanceState> NewState() {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), 0, sizeof(InstanceState));
    FillTables(state.get());
    return state;
}

// A frame of 4-byte pixels with its PixelMap and handle.
struct TestFrame {
    std::vector<uint8_t> pixels;
    PixelMap map{};
    PixelMap* handle = &map;

    TestFrame(int32_t width, int32_t height, int32_t padding = 0) {
        map.bounds = {0, 0, width, height};
        map.rowBytes = width * 4 + padding;
        pixels.assign(static_cast<size_t>(map.rowBytes) * (height > 0 ? height : 1), 0);
        map.baseAddress = pixels.data();
    }
    uint8_t* At(int32_t x, int32_t row) { return pixels.data() + row * map.rowBytes + x * 4; }
};

// A record with its source and destination.
struct TestClip {
    TestFrame source;
    TestFrame destination;
    FilterRecord record{};

    TestClip(int32_t width, int32_t height) : source(width, height), destination(width, height) {
        record.sourceMap = &source.handle;
        record.destinationMap = &destination.handle;
    }
};

inline void Compile(InstanceState* state, int32_t index, const char* formula) {
    int32_t start = 0, end = static_cast<int32_t>(std::strlen(formula)), length = kCodeAreaSize;
    CompileFormula(formula, &start, &end, state->codeAreas[index], &length);
}

// Points the state's pixel context at (x, row) of `frame` and runs
// `formula` there for `channel`.
inline int32_t EvaluateAt(InstanceState* state, TestFrame& frame, const char* formula, int32_t x, int32_t row,
                          int32_t channel = 0) {
    Compile(state, 0, formula);
    auto program = std::make_unique<Program>();
    DecodeCodeArea(state->codeAreas[0], kCodeAreaSize, program.get());
    state->xMin = frame.map.bounds.left;
    state->xMax = frame.map.bounds.right;
    state->yMin = frame.map.bounds.top;
    state->yMax = frame.map.bounds.bottom;
    state->channelMin = 0;
    state->channelMax = 4;
    state->rowBytes[kSourceSlot] = frame.map.rowBytes;
    state->baseAddress[kSourceSlot] = frame.pixels.data();
    state->x = x;
    state->row = row;
    state->channel = channel;
    state->pixelAddress[kSourceSlot] = frame.At(x, row);
    return RunProgram(program.get(), state);
}
