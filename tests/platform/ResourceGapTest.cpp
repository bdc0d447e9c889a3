// The lookup tables and the resources port over a resource table with gaps
// (GapResources.cpp): short resources copy what they have, missing ones copy
// nothing, long ones are cut to the table.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "GapResources.h"
#include "InstanceState.h"
#include "RESOURCE.h"
#include "Resources.h"
#include "TableResources.h"

namespace {

constexpr uint8_t kFill = 0xC3;
constexpr int16_t kFilled = static_cast<int16_t>(0xC3C3);

std::unique_ptr<InstanceState> LoadedState(uint8_t fill) {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), fill, sizeof(InstanceState));
    LoadLookupTables(state.get());
    return state;
}

struct Point {
    int32_t index;
    int32_t value;
};

TEST(TablesWithGaps, ShortCosineFillsItsEntriesAndTheExpansionStillRuns) {
    auto state = LoadedState(kFill);
    const Point points[] = {
        {0, 1000},       {49, 1049},   {50, kFilled}, {255, kFilled},  // copied, then left as they were
        {256, 0},                                                      // set by the expansion
        {257, -kFilled}, {512, -1000}, {561, -1049},  {562, -kFilled}, {768, 0}, {974, kFilled}, {1023, 1001},
    };
    for (const Point& p : points) EXPECT_EQ(state->cosineTable[p.index], p.value) << p.index;
}

TEST(TablesWithGaps, MissingArctanLeavesTheTableAsItWas) {
    auto state = LoadedState(kFill);
    for (int32_t k = 0; k < kTableEntries; k++) ASSERT_EQ(state->arctanTable[k], 0xC3C3) << k;
}

TEST(TablesWithGaps, LongVectorIsCutToTheTable) {
    auto state = LoadedState(kFill);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(state.get()) + offsetof(InstanceState, vectorTable);
    for (int32_t i = 0; i < 2048; i++) ASSERT_EQ(bytes[i], GapVectorByte(i)) << i;
    // The byte after the table is the first of reserved1, as it was.
    EXPECT_EQ(bytes[2048], kFill);
    EXPECT_EQ(state->reserved1[0], kFill);
}

TEST(TablesWithGaps, ZeroStateWithoutCosineDataExpandsToZeros) {
    auto state = LoadedState(0);
    for (int32_t k = 50; k < 256; k++) ASSERT_EQ(state->cosineTable[k], 0) << k;
    EXPECT_EQ(state->cosineTable[768 + 206], 0);
    for (int32_t k = 0; k < kTableEntries; k++) ASSERT_EQ(state->arctanTable[k], 0) << k;
}

TEST(PortWithGaps, SizesAndCopiesFollowTheTable) {
    const ResourceKey rc = ResourceNumber(FABLIX_RT_RCDATA);
    EXPECT_EQ(ResourceSize(rc, ResourceText("COSINE")), kGapCosineBytes);
    EXPECT_EQ(ResourceSize(rc, ResourceText("ARCTAN")), kResourceNotFound);
    EXPECT_EQ(ResourceSize(ResourceText("PARM"), ResourceNumber(16000)), kResourceNotFound);
    uint8_t room[512];
    EXPECT_EQ(CopyResource(rc, ResourceText("COSINE"), room, sizeof room), kGapCosineBytes);
    char text[16];
    EXPECT_EQ(LoadResourceString(7, text, sizeof text), 5);
    EXPECT_STREQ(text, "seven");
    EXPECT_EQ(LoadResourceString(IDS_OPEN_FAILED, text, sizeof text), kResourceNotFound);
}

}  // namespace
