// Execute through the loaded plug-in: when it compiles, what it renders
// (the runtime's own frame for the same block, time and tables), and that
// it never loads the tables itself.
#include "PluginTestHost.h"

namespace {

// Creates the record's state with a first call that does nothing else.
void Create(HostClip& clip) {
    ASSERT_EQ(CallPlugin(clip, 5), -1);
    ASSERT_NE(clip.State(), nullptr);
}

// The value of channel p of the rendered pixel (x, row).
uint8_t Out(HostClip& clip, int32_t x, int32_t row, int32_t p) { return clip.destination.At(x, row)[p]; }

TEST(Execute, FirstExecuteCompilesTheDefaultFormulasAndRenders) {
    HostClip clip;
    EXPECT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    InstanceState* state = clip.State();
    ASSERT_NE(state, nullptr);

    const FilterParams block = DefaultBlock();
    auto expected = CompiledState(block, false);
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        EXPECT_EQ(int32_t{state->compileFailed[i]}, 0) << i;
        EXPECT_EQ(int32_t{state->codeLength[i]}, int32_t{expected->codeLength[i]}) << i;
        EXPECT_EQ(int32_t{state->errorStart[i]}, int32_t{expected->errorStart[i]}) << i;
        EXPECT_EQ(int32_t{state->errorEnd[i]}, int32_t{expected->errorEnd[i]}) << i;
        EXPECT_EQ(std::memcmp(state->codeAreas[i], expected->codeAreas[i], kCodeAreaSize), 0) << i;
    }
    EXPECT_TRUE(BeginsWithProlog(state->codeAreas[0]));
    EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, block, false, 0));
    // The default alpha formula is "a": the frame was rendered.
    for (int32_t row = 0; row < 5; ++row)
        for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(Out(clip, x, row, 3), SourceByte(x, row, 3));
}

TEST(Execute, TwoExecutesCompileOnlyOnce) {
    HostClip clip;
    Create(clip);
    SetFormulas(clip.State()->params, "x*10", "y*20", "r", "a");
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_TRUE(BeginsWithProlog(clip.State()->codeAreas[0]));
    EXPECT_EQ(Out(clip, 3, 0, 0), 30);

    // A new formula in the block is not seen: the areas hold code.
    ArmCompileProbe(clip.State());
    SetFormulas(clip.State()->params, "255", "255", "255", "255");
    std::memset(clip.destination.pixels.data(), kUnwritten, clip.destination.pixels.size());
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_FALSE(CompiledSinceArmed(clip.State()));
    FilterParams old = clip.State()->params;
    SetFormulas(old, "x*10", "y*20", "r", "a");
    EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, old, false, 0));
    EXPECT_EQ(Out(clip, 3, 0, 0), 30);
}

// Formula 0 stopped on an error: its area begins with "error", not the
// prolog, so every execute compiles all four again, until formula 0 is
// fixed; then it compiles no more.
TEST(Execute, AFormula0ThatStopsOnAnErrorRecompilesOnEveryExecute) {
    HostClip clip;
    Create(clip);
    InstanceState* state = clip.State();
    SetFormulas(state->params, "r+$", "7", "0", "a");
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_EQ(int32_t{state->compileFailed[0]}, 1);
    EXPECT_TRUE(BeginsWithError(state->codeAreas[0]));
    EXPECT_EQ(Out(clip, 2, 1, 0), 0);  // a failed area yields 0
    EXPECT_EQ(Out(clip, 2, 1, 1), 7);

    for (int32_t value : {9, 11}) {
        ArmCompileProbe(state);
        std::snprintf(state->params.formula[1], kFormulaSlotSize, "%d", value);
        ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
        EXPECT_TRUE(CompiledSinceArmed(state)) << value;
        EXPECT_EQ(Out(clip, 2, 1, 1), value);
        EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, state->params, false, 0));
    }

    // Fixed: the next execute picks it up ...
    std::strcpy(state->params.formula[0], "x+1");
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_EQ(int32_t{state->compileFailed[0]}, 0);
    EXPECT_EQ(Out(clip, 2, 1, 0), 3);
    // ... and the one after compiles nothing.
    ArmCompileProbe(state);
    std::strcpy(state->params.formula[0], "x+2");
    std::strcpy(state->params.formula[1], "13");
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_FALSE(CompiledSinceArmed(state));
    EXPECT_EQ(Out(clip, 2, 1, 0), 3);
    EXPECT_EQ(Out(clip, 2, 1, 1), 11);
}

// Text left over after a complete expression fails the compile but keeps
// the prolog: compiled once, and the code of the complete part runs.
TEST(Execute, AFormula0WithLeftOverTextKeepsItsPrologAndCompilesOnce) {
    HostClip clip;
    Create(clip);
    InstanceState* state = clip.State();
    SetFormulas(state->params, "r g", "7", "0", "a");
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_EQ(int32_t{state->compileFailed[0]}, 1);
    EXPECT_TRUE(BeginsWithProlog(state->codeAreas[0]));
    EXPECT_EQ(Out(clip, 2, 1, 0), SourceByte(2, 1, 2));
    EXPECT_EQ(Out(clip, 2, 1, 1), 7);

    ArmCompileProbe(state);
    std::strcpy(state->params.formula[1], "9");
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_FALSE(CompiledSinceArmed(state));
    EXPECT_EQ(Out(clip, 2, 1, 1), 7);
}

// A record that never went through setup renders with all-zero tables, and
// execute leaves them zero.
TEST(Execute, NeverLoadsTheTables) {
    HostClip clip;
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    const InstanceState* state = clip.State();
    for (int32_t k = 0; k < kTableEntries; ++k) {
        ASSERT_EQ(int32_t{state->cosineTable[k]}, 0) << k;
        ASSERT_EQ(int32_t{state->arctanTable[k]}, 0) << k;
        ASSERT_EQ(int32_t{state->vectorTable[k]}, 0) << k;
    }
    const FilterParams block = DefaultBlock();
    const std::vector<uint8_t> withoutTables = LibraryFrame(clip, block, false, 0);
    EXPECT_EQ(clip.destination.pixels, withoutTables);
    // The default formulas depend on the tables, so this tells the two apart.
    EXPECT_NE(LibraryFrame(clip, block, true, 0), withoutTables);
}

// The time comes from the record and the source is taken as it stands: the
// plug-in never asks the host to load the frame.
int32_t gCallbackCalls = 0;
void FABLIX_STDCALL CountingCallback(int32_t, PixelMap**, PixelMap*, intptr_t) { ++gCallbackCalls; }

TEST(Execute, TakesTheRecordsTimeAndNeverLoadsTheSource) {
    HostClip clip;
    Create(clip);
    InstanceState* state = clip.State();
    SetFormulas(state->params, "t*10+T", "rnd(0,255)", "x*y", "a");
    clip.record.sourceFrameCallback = CountingCallback;
    gCallbackCalls = 0;
    for (int32_t time : {4, 4, 0, 9}) {
        clip.record.time = time;
        ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
        EXPECT_EQ(int32_t{state->time}, time);
        EXPECT_EQ(Out(clip, 0, 0, 0), time * 10 + 9);
        EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, state->params, false, time)) << time;
    }
    EXPECT_EQ(gCallbackCalls, 0);
}

// After setup (the tables loaded), execute renders exactly the runtime's
// frame for the same block, time and tables, whatever the block.
struct FrameCase {
    const char* name;
    const char* formulas[kFormulaCount];
    bool singleExpression;
    int32_t padding;
    int32_t time;
    int32_t width = 6, height = 4;  // a frame this large goes in bands to the processors
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class ExecuteFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ExecuteFrame, EqualsTheRuntimesFrame) {
    const FrameCase& c = GetParam();
    HostClip clip(c.width, c.height, c.padding);
    clip.record.time = c.time;
    Create(clip);
    InstanceState* state = clip.State();
    if (c.formulas[0] != nullptr)
        SetFormulas(state->params, c.formulas[0], c.formulas[1], c.formulas[2], c.formulas[3]);
    state->params.singleExpression = c.singleExpression ? 1 : 0;
    // The editor block opens a dialog that cannot open: 1, tables loaded.
    ASSERT_EQ(CallPlugin(clip, kSelectorSetup), 1);
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    for (int32_t i = 0; i < kFormulaCount; ++i) EXPECT_EQ(int32_t{state->compileFailed[i]}, 0) << i;
    EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, state->params, true, c.time));
    // Rendered a second time from the same code, the frame is the same.
    const std::vector<uint8_t> first = clip.destination.pixels;
    std::memset(clip.destination.pixels.data(), kUnwritten, clip.destination.pixels.size());
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_EQ(clip.destination.pixels, first);
}

const FrameCase kFrameCases[] = {
    {"DefaultBlock", {}, false, 0, 0},
    {"DefaultBlockPaddedRowsLaterFrame", {}, false, 12, 5},
    {"SlidersMapsAndTables", {"val(0,0,255)+ctl(7)", "map(0,x*40)", "sin(x*64)+cos(y*64)", "rad(x,y,0)"}, false, 0, 2},
    {"RandomPutAndGet", {"put(rnd(0,99),3)", "get(3)+t", "c2m(x,y)", "a"}, false, 4, 7},
    {"SingleExpression", {"1", "2", "3", "x*30+y+p"}, true, 0, 1},
    {"InBands", {"x^y", "c+rad(d,m/2,p)", "src(x+1,y-1,p)", "a"}, false, 8, 3, 641, 363},
    {"InBandsDrawing", {"c+rnd(-40,40)", "c+rnd(0,9)", "put(rnd(0,255),0)", "get(0)"}, false, 0, 9, 640, 360},
    {"InOrderCells", {"put(get(1)+c&255,1)", "g", "r", "a"}, false, 0, 4, 512, 300},
};

INSTANTIATE_TEST_SUITE_P(Blocks, ExecuteFrame, ::testing::ValuesIn(kFrameCases),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

}  // namespace
