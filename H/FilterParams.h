// FilterParams: the 8300-byte block that defines one filter. It is stored
// as resource PARM 16000, at the end of every InstanceState, and partly in
// settings files, always with this layout.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int32_t {
    kFilterParamsSize = 8300,
    kFormulaCount = 4,  // one per channel: 0 blue, 1 green, 2 red, 3 alpha
    kSliderCount = 8,
    kMapCount = 4,            // map i is driven by sliders 2i and 2i+1
    kTextSlotSize = 256,      // title, author, moduleName, notice, names
    kFormulaSlotSize = 1024,  // a formula holds at most 1023 characters
};

#pragma pack(push, 1)
struct FilterParams {
    int32_t size;                         // 8300; never tested
    int32_t built;                        // 0 formula editor, 1 built plug-in
    int32_t singleExpression;             // 1: formula 3 feeds every channel
    int32_t sliderValue[kSliderCount];    // 0..255
    int32_t hasControls;                  // OR of the twelve enable flags
    int32_t reserved[3];                  // cleared with hasControls
    int32_t mapEnabled[kMapCount];        // 0 or 1
    int32_t sliderEnabled[kSliderCount];  // 0 or 1
    char title[kTextSlotSize];            // "Category:Name"
    char author[kTextSlotSize];
    char moduleName[kTextSlotSize];  // file name of a built plug-in
    char notice[kTextSlotSize];
    char mapName[kMapCount][kTextSlotSize];
    char sliderName[kSliderCount][kTextSlotSize];
    char formula[kFormulaCount][kFormulaSlotSize];
};
#pragma pack(pop)

static_assert(offsetof(FilterParams, size) == 0);
static_assert(offsetof(FilterParams, built) == 4);
static_assert(offsetof(FilterParams, singleExpression) == 8);
static_assert(offsetof(FilterParams, sliderValue) == 12);
static_assert(offsetof(FilterParams, hasControls) == 44);
static_assert(offsetof(FilterParams, reserved) == 48);
static_assert(offsetof(FilterParams, mapEnabled) == 60);
static_assert(offsetof(FilterParams, sliderEnabled) == 76);
static_assert(offsetof(FilterParams, title) == 108);
static_assert(offsetof(FilterParams, author) == 364);
static_assert(offsetof(FilterParams, moduleName) == 620);
static_assert(offsetof(FilterParams, notice) == 876);
static_assert(offsetof(FilterParams, mapName) == 1132);
static_assert(offsetof(FilterParams, sliderName) == 2156);
static_assert(offsetof(FilterParams, formula) == 4204);
static_assert(sizeof(FilterParams) == kFilterParamsSize);

// hasControls as every writer of a block stores it: 1 when any of the twelve
// enable flags is set, else 0, and the reserved words beside it cleared.
// The fields are reached by index: the record is packed, so a reference to
// one of its words may be misaligned.
inline void StoreHasControls(FilterParams* params) {
    int32_t any = 0;
    for (size_t i = 0; i < sizeof params->mapEnabled / sizeof params->mapEnabled[0]; ++i)
        any |= params->mapEnabled[i] != 0;
    for (size_t i = 0; i < sizeof params->sliderEnabled / sizeof params->sliderEnabled[0]; ++i)
        any |= params->sliderEnabled[i] != 0;
    params->hasControls = any;
    for (size_t i = 0; i < sizeof params->reserved / sizeof params->reserved[0]; ++i) params->reserved[i] = 0;
}
