// What GapResources.cpp holds, for the tests that read it.
#pragma once

#include <cstdint>

enum : int32_t {
    kGapCosineBytes = 100,   // entries 0..49 of 256
    kGapVectorBytes = 3000,  // 952 bytes more than the table holds
};

constexpr int16_t GapCosineEntry(int32_t k) { return static_cast<int16_t>(1000 + k); }
constexpr uint8_t GapVectorByte(int32_t i) { return static_cast<uint8_t>(i * 7 + 1); }
