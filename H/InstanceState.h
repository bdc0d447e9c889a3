// InstanceState: the plug-in's private record, kept by the host in a handle
// between calls. Compiled code reaches everything it reads through it.
//
// The layout is written once over the address type: the 32-bit image stores
// 4-byte addresses (34346 bytes in all); a build with wider addresses widens
// the four address arrays and `self`, and every later field moves along.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FilterParams.h"
#include "RecordLayout.h"

enum : int32_t {
    kCodeAreaSize = 2048,  // one compiled formula; at most 2047 bytes used
    kPutCellCount = 256,
    kTableEntries = 1024,  // cosine, arctangent and vector tables
    kMapEntries = 256,
    kRandomStateSize = 56,  // entries 1..55 used
    kFrameSlots = 3,        // address slots: 0 source, 1 reserved, 2 destination
};

enum : int32_t { kSourceSlot = 0, kDestinationSlot = 2 };

#pragma pack(push, 1)
template <class Address>
struct InstanceStateOf {
    int32_t x;  // current column, xMin..xMax-1
    int32_t xMin;
    int32_t xMax;
    int32_t row;  // current row, yMin..yMax-1, first row in memory first
    int32_t yMin;
    int32_t yMax;
    int32_t channel;     // current channel p
    int32_t channelMin;  // 0
    int32_t channelMax;  // 4, also the pixel size
    int32_t sliderValues[kSliderCount];
    int32_t time;
    int32_t timeMin;  // 0
    int32_t total;
    int32_t totalCopy;  // written with total, read by nothing
    uint16_t randomIndex;
    uint16_t randomLagIndex;
    int32_t randomState[kRandomStateSize];
    uint8_t mapTables[kMapCount][kMapEntries];
    int16_t cosineTable[kTableEntries];   // scale 16384, one turn
    uint16_t arctanTable[kTableEntries];  // scale 65536
    uint16_t vectorTable[kTableEntries];  // scale 65536
    uint8_t reserved1[6144];
    int32_t putCells[kPutCellCount];
    uint8_t reserved2[3072];
    int32_t rowBytes[kFrameSlots];
    Address baseAddress[kFrameSlots];
    Address rowAddress[kFrameSlots];
    Address pixelAddress[kFrameSlots];
    int32_t setupDone;
    int32_t recompileNeeded;
    int16_t previewDirty;
    int16_t animate;
    int32_t animationPhase;
    uint8_t reserved3[2];
    Address self;  // the record's own address, read by nothing
    int32_t compileFailed[kFormulaCount];
    int32_t errorStart[kFormulaCount];
    int32_t errorEnd[kFormulaCount];
    int32_t codeLength[kFormulaCount];
    uint8_t codeAreas[kFormulaCount][kCodeAreaSize];
    FilterParams params;
};
#pragma pack(pop)

// The record of this build, and the record of the 32-bit image.
using InstanceState = InstanceStateOf<uint8_t*>;
using InstanceState32 = InstanceStateOf<uint32_t>;
using InstanceState64 = InstanceStateOf<uint64_t>;

FABLIX_CHECK_LAYOUT(InstanceState, x, 0, 0);
FABLIX_CHECK_LAYOUT(InstanceState, xMin, 4, 0);
FABLIX_CHECK_LAYOUT(InstanceState, xMax, 8, 0);
FABLIX_CHECK_LAYOUT(InstanceState, row, 12, 0);
FABLIX_CHECK_LAYOUT(InstanceState, yMin, 16, 0);
FABLIX_CHECK_LAYOUT(InstanceState, yMax, 20, 0);
FABLIX_CHECK_LAYOUT(InstanceState, channel, 24, 0);
FABLIX_CHECK_LAYOUT(InstanceState, channelMin, 28, 0);
FABLIX_CHECK_LAYOUT(InstanceState, channelMax, 32, 0);
FABLIX_CHECK_LAYOUT(InstanceState, sliderValues, 36, 0);
FABLIX_CHECK_LAYOUT(InstanceState, time, 68, 0);
FABLIX_CHECK_LAYOUT(InstanceState, timeMin, 72, 0);
FABLIX_CHECK_LAYOUT(InstanceState, total, 76, 0);
FABLIX_CHECK_LAYOUT(InstanceState, totalCopy, 80, 0);
FABLIX_CHECK_LAYOUT(InstanceState, randomIndex, 84, 0);
FABLIX_CHECK_LAYOUT(InstanceState, randomLagIndex, 86, 0);
FABLIX_CHECK_LAYOUT(InstanceState, randomState, 88, 0);
FABLIX_CHECK_LAYOUT(InstanceState, mapTables, 312, 0);
FABLIX_CHECK_LAYOUT(InstanceState, cosineTable, 1336, 0);
FABLIX_CHECK_LAYOUT(InstanceState, arctanTable, 3384, 0);
FABLIX_CHECK_LAYOUT(InstanceState, vectorTable, 5432, 0);
FABLIX_CHECK_LAYOUT(InstanceState, reserved1, 7480, 0);
FABLIX_CHECK_LAYOUT(InstanceState, putCells, 13624, 0);
FABLIX_CHECK_LAYOUT(InstanceState, reserved2, 14648, 0);
FABLIX_CHECK_LAYOUT(InstanceState, rowBytes, 17720, 0);
FABLIX_CHECK_LAYOUT(InstanceState, baseAddress, 17732, 0);
FABLIX_CHECK_LAYOUT(InstanceState, rowAddress, 17744, 3);
FABLIX_CHECK_LAYOUT(InstanceState, pixelAddress, 17756, 6);
FABLIX_CHECK_LAYOUT(InstanceState, setupDone, 17768, 9);
FABLIX_CHECK_LAYOUT(InstanceState, recompileNeeded, 17772, 9);
FABLIX_CHECK_LAYOUT(InstanceState, previewDirty, 17776, 9);
FABLIX_CHECK_LAYOUT(InstanceState, animate, 17778, 9);
FABLIX_CHECK_LAYOUT(InstanceState, animationPhase, 17780, 9);
FABLIX_CHECK_LAYOUT(InstanceState, reserved3, 17784, 9);
FABLIX_CHECK_LAYOUT(InstanceState, self, 17786, 9);
FABLIX_CHECK_LAYOUT(InstanceState, compileFailed, 17790, 10);
FABLIX_CHECK_LAYOUT(InstanceState, errorStart, 17806, 10);
FABLIX_CHECK_LAYOUT(InstanceState, errorEnd, 17822, 10);
FABLIX_CHECK_LAYOUT(InstanceState, codeLength, 17838, 10);
FABLIX_CHECK_LAYOUT(InstanceState, codeAreas, 17854, 10);
FABLIX_CHECK_LAYOUT(InstanceState, params, 26046, 10);

enum : int32_t {
    kInstanceStateSize32 = 34346,
    kInstanceStateSize = static_cast<int32_t>(sizeof(InstanceState)),
};
static_assert(sizeof(InstanceState32) == kInstanceStateSize32);
static_assert(sizeof(InstanceState64) == 34386);
static_assert(sizeof(InstanceState) == 34346 + 10 * kAddressWidening);
