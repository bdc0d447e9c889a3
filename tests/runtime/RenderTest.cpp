// Frame preparation and the render loop on small hand-made frames.
#include <gtest/gtest.h>

#include "RuntimeSupport.h"

namespace {

class Render : public ::testing::Test {
protected:
    std::unique_ptr<InstanceState> state = NewState();
    FilterParams params{};
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();

    void SetFormulas(const char* f0, const char* f1, const char* f2, const char* f3) {
        const char* formulas[kFormulaCount] = {f0, f1, f2, f3};
        for (int i = 0; i < kFormulaCount; ++i) std::strcpy(params.formula[i], formulas[i]);
        CompileFormulas(state.get(), &params);
        DecodeFormulas(state.get(), &workspace->programs);
    }
    RenderResult Run(TestClip& clip, InputProbe probe = nullptr) {
        PrepareFrame(&clip.record, state.get(), &params);
        return RenderFrame(&clip.record, state.get(), &params, workspace.get(), probe);
    }
};

TEST_F(Render, ClampsEveryResultToAByte) {
    SetFormulas("0-5", "300", "128", "x*100-150");
    TestClip clip(3, 2);
    EXPECT_EQ(Run(clip), kRenderDone);
    const uint8_t alphas[3] = {0, 0, 50};
    for (int32_t row = 0; row < 2; ++row)
        for (int32_t x = 0; x < 3; ++x) {
            const uint8_t* px = clip.destination.At(x, row);
            EXPECT_EQ(px[0], 0);
            EXPECT_EQ(px[1], 255);
            EXPECT_EQ(px[2], 128);
            EXPECT_EQ(px[3], alphas[x]);
        }
}

TEST_F(Render, ChannelsSeeTheSourcePixelAndEachOthersCells) {
    SetFormulas("put(r+1,0)", "get(0)+p", "put(get(1)+1,1)", "c");
    TestClip clip(2, 1);
    clip.source.At(0, 0)[2] = 10;
    clip.source.At(0, 0)[3] = 99;
    clip.source.At(1, 0)[2] = 20;
    Run(clip);
    const uint8_t expected[2][4] = {{11, 12, 1, 99}, {21, 22, 2, 0}};
    for (int32_t x = 0; x < 2; ++x)
        for (int32_t p = 0; p < 4; ++p) EXPECT_EQ(clip.destination.At(x, 0)[p], expected[x][p]);
}

TEST_F(Render, SingleExpressionRunsFormula3ForEveryChannel) {
    SetFormulas("1", "2", "3", "x*10+p+c");
    params.singleExpression = 1;
    TestClip clip(3, 1);
    clip.source.At(2, 0)[0] = 5;  // "c" sees channel 0, blue
    Run(clip);
    const uint8_t values[3] = {0, 10, 25};
    for (int32_t x = 0; x < 3; ++x)
        for (int32_t p = 0; p < 4; ++p) EXPECT_EQ(clip.destination.At(x, 0)[p], values[x]);
}

// The host's callbacks, in the host's calling convention (on 32-bit x86 the
// callee removes its arguments, so a mismatch breaks the caller's stack).
int gCalls;
void FABLIX_STDCALL CountCall(int32_t, PixelMap**, PixelMap*, intptr_t) { ++gCalls; }

struct SeenCall {
    int32_t calls, time;
    PixelMap** handle;
    PixelMap* map;
    intptr_t data;
};
SeenCall gSeen;
void FABLIX_STDCALL RecordCall(int32_t time, PixelMap** handle, PixelMap* map, intptr_t data) {
    gSeen = {gSeen.calls + 1, time, handle, map, data};
}

TEST_F(Render, EmptyBoundsRenderNothingButStillLoadTheFrame) {
    SetFormulas("1", "1", "1", "1");
    TestClip clip(2, 2);
    clip.source.map.bounds.bottom = 0;
    gCalls = 0;
    clip.record.sourceFrameCallback = CountCall;
    clip.record.time = 4;
    state->time = 3;
    EXPECT_EQ(Run(clip), kRenderDone);
    EXPECT_EQ(gCalls, 1);
    EXPECT_EQ(clip.destination.At(0, 0)[0], 0);
}

TEST_F(Render, CallbackRunsOnceWithItsArgumentsWhenTheTimeChanges) {
    SetFormulas("t", "t", "t", "T");
    TestClip clip(1, 1);
    gSeen = {};
    clip.record.sourceFrameCallback = RecordCall;
    clip.record.callbackData = 1234;
    clip.record.time = 7;
    clip.record.total = 9;
    Run(clip);
    EXPECT_EQ(gSeen.calls, 1);
    EXPECT_EQ(gSeen.time, 7);
    EXPECT_EQ(gSeen.handle, clip.record.sourceMap);
    EXPECT_EQ(gSeen.map, &clip.source.map);
    EXPECT_EQ(gSeen.data, 1234);
    EXPECT_EQ(clip.destination.At(0, 0)[0], 7);
    EXPECT_EQ(clip.destination.At(0, 0)[3], 9);
    EXPECT_EQ(state->totalCopy, 9);
    Run(clip);
    EXPECT_EQ(gSeen.calls, 1);
}

TEST_F(Render, WaitingInputStopsAfterOneRow) {
    SetFormulas("200", "200", "200", "200");
    TestClip clip(2, 3);
    EXPECT_EQ(Run(clip, [] { return true; }), kRenderStopped);
    EXPECT_EQ(clip.destination.At(1, 0)[0], 200);
    EXPECT_EQ(clip.destination.At(0, 1)[0], 0);
    EXPECT_EQ(Run(clip, [] { return false; }), kRenderDone);
    EXPECT_EQ(clip.destination.At(1, 2)[3], 200);
}

TEST_F(Render, MapRampsFromSliderPairs) {
    struct Entry {
        int32_t s0, s1, k;
        uint8_t expected;
    };
    const Entry cases[] = {
        {200, 100, 100, 0},   {200, 100, 101, 2},   {200, 100, 150, 126}, {200, 100, 199, 250}, {200, 100, 200, 255},
        {100, 200, 100, 255}, {100, 200, 101, 253}, {100, 200, 150, 129}, {100, 200, 199, 5},   {100, 200, 200, 0},
        {255, 0, 77, 77},     {0, 255, 77, 178},    {50, 50, 49, 0},      {50, 50, 50, 255},
    };
    TestClip clip(1, 1);
    for (const Entry& e : cases) {
        params.sliderValue[0] = e.s0;
        params.sliderValue[1] = e.s1;
        PrepareFrame(&clip.record, state.get(), &params);
        EXPECT_EQ(state->mapTables[0][e.k], e.expected) << e.s0 << "," << e.s1 << " @" << e.k;
    }
}

TEST_F(Render, PreparationResetsCellsAndRandomState) {
    SetFormulas("rnd(0,255)", "rnd(0,255)", "put(rnd(0,255),x)", "get(x-1)");
    TestClip first(8, 4), second(8, 4);
    for (int32_t i = 0; i < 32; ++i) first.source.pixels[i * 4] = second.source.pixels[i * 4] = uint8_t(i);
    Run(first);
    Run(second);
    EXPECT_EQ(first.destination.pixels, second.destination.pixels);
    EXPECT_EQ(state->randomIndex, (32 * 3) % 55);
}

TEST_F(Render, SlidersOutsideTheByteRangeStayInsideTheMapTables) {
    int16_t cosine[kTableEntries];
    std::memcpy(cosine, state->cosineTable, sizeof(cosine));
    TestClip clip(1, 1);
    const int32_t pairs[][2] = {{1000, 0}, {0, 1000}, {-1, 5}, {5, -1}, {70000, 300}};
    for (const auto& pair : pairs) {
        params.sliderValue[6] = pair[0];
        params.sliderValue[7] = pair[1];
        PrepareFrame(&clip.record, state.get(), &params);
        EXPECT_EQ(std::memcmp(cosine, state->cosineTable, sizeof(cosine)), 0);
    }
    params.sliderValue[6] = 1000;  // taken as 1000: a rising ramp never reaching 255
    params.sliderValue[7] = 0;
    PrepareFrame(&clip.record, state.get(), &params);
    EXPECT_EQ(state->mapTables[3][255], (255 * 256) / 1001);
}

TEST_F(Render, SmallerDestinationIsWrittenOnlyWithinItsOwnBounds) {
    SetFormulas("9", "9", "9", "9");
    TestClip clip(4, 4);
    TestFrame small(2, 3);
    std::vector<uint8_t> guarded(small.pixels.size() + 64, 0xEE);
    small.map.baseAddress = guarded.data();
    clip.record.destinationMap = &small.handle;
    Run(clip);
    for (size_t i = 0; i < guarded.size(); ++i) EXPECT_EQ(guarded[i], i < small.pixels.size() ? 9 : 0xEE) << i;
}

TEST_F(Render, PaddedRowsKeepTheirPadding) {
    SetFormulas("1", "2", "3", "4");
    TestClip clip(2, 2);
    TestFrame padded(2, 2, 8);
    std::memset(padded.pixels.data(), 0xAB, padded.pixels.size());
    clip.record.destinationMap = &padded.handle;
    Run(clip);
    for (int32_t row = 0; row < 2; ++row) {
        for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(padded.At(x, row)[3], 4);
        EXPECT_EQ(padded.pixels[row * 16 + 8], 0xAB);
    }
}

}  // namespace
