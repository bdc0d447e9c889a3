// Execute decodes the record's own code areas on every call, into a
// workspace of its own: a recompiled area, or another record with other
// (or the same) code, always renders from what its areas hold now.
#include "PluginTestHost.h"

namespace {

uint8_t Out(HostClip& clip, int32_t x, int32_t row, int32_t p) { return clip.destination.At(x, row)[p]; }

void Execute(HostClip& clip) { ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0); }

TEST(DecodedPrograms, AnAreaRecompiledInPlaceRendersItsNewCode) {
    const int32_t areas[] = {0, 3};
    for (int32_t area : areas) {
        HostClip clip;
        Execute(clip);
        SetFormulas(clip.State()->params, "x+1", "y*2", "3", "a");
        CompileFormulas(clip.State(), &clip.State()->params);
        Execute(clip);
        EXPECT_EQ(Out(clip, 4, 0, area), area == 0 ? 5 : SourceByte(4, 0, 3));
        // Only the area's bytes change; the block still has the old text.
        int32_t start = 0, end = 2, length = kCodeAreaSize;
        CompileFormula("77", &start, &end, clip.State()->codeAreas[area], &length);
        Execute(clip);
        EXPECT_EQ(Out(clip, 4, 0, area), 77) << area;
    }
}

TEST(DecodedPrograms, RecordsExecutedInTurnEachRenderTheirOwnCode) {
    HostClip first, second, twin;
    for (HostClip* clip : {&first, &second, &twin}) Execute(*clip);
    SetFormulas(first.State()->params, "x", "y", "p", "a");
    SetFormulas(second.State()->params, "9", "8", "7", "6");
    SetFormulas(twin.State()->params, "x", "y", "p", "a");
    for (HostClip* clip : {&first, &second, &twin}) CompileFormulas(clip->State(), &clip->State()->params);
    for (int32_t round = 0; round < 2; ++round) {
        for (HostClip* clip : {&first, &second, &twin}) Execute(*clip);
        EXPECT_EQ(Out(first, 3, 0, 0), 3);
        EXPECT_EQ(Out(second, 3, 0, 0), 9);
        EXPECT_EQ(Out(second, 3, 0, 3), 6);
        EXPECT_EQ(first.destination.pixels, twin.destination.pixels);
    }
}

}  // namespace
