// The instance behind the frei0r functions: when it compiles, and how the
// host's time becomes "t" and "T".
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "BlockOptions.h"
#include "FilterInstance.h"
#include "Frame.h"
#include "MediaTestSupport.h"

namespace {

void SetText(FilterInstance& instance, int32_t index, const char* text) { SetParamValue(instance, index, &text); }
void SetNumber(FilterInstance& instance, int32_t index, double value) { SetParamValue(instance, index, &value); }

TEST(Frei0rInstance, CompilesOnlyWhenTheFormulasChange) {
    auto instance = MakeFilterInstance(16, 8);
    ASSERT_TRUE(instance);
    const Frame source = NumberedFrame(16, 8, 0);
    std::vector<uint32_t> out(16 * 8);
    const auto* in = reinterpret_cast<const uint32_t*>(source.pixels.data());
    auto render = [&](double seconds) { RenderInstanceFrame(*instance, seconds, in, out.data()); };

    struct Step {
        const char* what;
        std::function<void()> change;
        int32_t compiles;  // after the next frame
    };
    ScratchFolder folder;
    const std::string missing = folder / "missing.fbl";
    const std::vector<Step> steps = {
        {"the first frame", [] {}, 1},
        {"another frame", [] {}, 1},
        {"a slider", [&] { SetNumber(*instance, kParamSlider0 + 2, 0.5); }, 1},
        {"single expression and time scale",
         [&] {
             SetNumber(*instance, kParamSingle, 1);
             SetNumber(*instance, kParamFrameRate, 0.03);
             SetNumber(*instance, kParamClipLength, 0.001);
         },
         1},
        {"the same formula text twice", [&] { SetText(*instance, kParamFormula0 + 1, "g/2"); }, 2},
        {"... and again", [&] { SetText(*instance, kParamFormula0 + 1, "g/2"); }, 2},
        {"a settings file that cannot be read: the same formulas",
         [&] { SetText(*instance, kParamSettings, missing.c_str()); }, 2},
        {"a formula set back to empty", [&] { SetText(*instance, kParamFormula0 + 1, nullptr); }, 3},
        {"a formula refused as too long", [&] { SetText(*instance, kParamFormula0, std::string(2000, '1').c_str()); },
         3},
    };
    testing::internal::CaptureStderr();
    for (const Step& step : steps) {
        step.change();
        render(0.5);
        EXPECT_EQ(instance->compileCount, step.compiles) << step.what;
    }
    testing::internal::GetCapturedStderr();
}

// The tool's frame limit, also for sizes an int32_t cannot hold.
TEST(Frei0rInstance, TakesOnlySizesWhosePixelsFitAFrame) {
    const struct {
        uint32_t width, height;
        bool made;
    } cases[] = {
        {1, 1, true},
        {16384, 16384, true},
        {0, 8, false},
        {8, 0, false},
        {16384, 16385, false},
        {1u << 28, 1, true},
        {(1u << 28) + 1, 1, false},
        {1u << 31, 1, false},
        {1, 1u << 31, false},
        {UINT32_MAX, UINT32_MAX, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeFilterInstance(c.width, c.height) != nullptr, c.made) << c.width << " x " << c.height;
}

TEST(Frei0rInstance, TurnsHostTimeIntoFrameIndexes) {
    struct Case {
        double hostTime, frameRate;
        HostClock clock;
        int32_t t;
    };
    constexpr HostClock s = HostClock::kSeconds, ms = HostClock::kMilliseconds;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        // The scaled form, on the host's own clock, as earlier command lines give it.
        {0.0, kDefaultFrameRate, s, 0},
        {0.04, kDefaultFrameRate, s, 1},
        {0.12, kDefaultFrameRate, s, 3},
        {0.039999, kDefaultFrameRate, s, 1},
        {10.0, kDefaultFrameRate, s, 250},
        {1.0 / 30 * 7, 0.03, s, 7},
        {1001.0 / 30000 * 9, 0.02997, s, 9},
        {280.0, 0.000025, ms, 7},
        {-0.08, kDefaultFrameRate, s, -2},
        {1e12, kDefaultFrameRate, s, 2147483647},
        {-1e12, kDefaultFrameRate, s, -2147483647 - 1},
        {nan, 0.025, s, 0},
        {1.0, 0.0, s, 0},
        // Frames per second, on the time in seconds: FFmpeg's milliseconds converted.
        {0.28, 25, s, 7},
        {280.0, 25, ms, 7},
        {1000.0 / 24 * 23, 24, ms, 23},
        {1000.0 / 30 * 29, 30, ms, 29},
        {1000.0 / 50 * 49, 50, ms, 49},
        {1000.0 / 60 * 59, 60, ms, 59},
        {1.0 / 60 * 59, 60, s, 59},
        {1001.0 / 30000 * 9, 29.97, s, 9},
        {1.0, 1, s, 1},
        {1e12, 60, ms, 2147483647},
        {nan, 30, ms, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FrameIndex(c.hostTime, c.frameRate, c.clock), c.t) << c.hostTime << " at " << c.frameRate;

    struct Length {
        double clipLength;
        int32_t total;
    };
    const Length lengths[] = {
        {kDefaultClipLength, 249}, {0.000004, 3}, {0.000001, 0}, {0.0, 0},     {-1.0, 0},    {nan, 0},
        {0.999999, 999998},        {1.0, 0},      {2.0, 1},      {250.0, 249}, {250.4, 249}, {1e12, 2147483646}};
    for (const Length& l : lengths) EXPECT_EQ(LastFrameIndex(l.clipLength), l.total) << l.clipLength;
}

// "t" as an instance renders it: the frame rate the host set, or 25 (a
// built instance: its own) on the instance's clock.
TEST(Frei0rInstance, RendersTAtTheRateAndClockItHas) {
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(LoadDefaultBlock(params.get()), kBlockOk);
    for (int32_t i = 0; i < kFormulaCount; ++i) StoreFormula(params.get(), i, "t");
    params->built = 1;
    const struct {
        const FilterParams* embedded;
        int32_t builtRate;
        const double* frameRate;  // set when given
        HostClock clock;
        double hostTime;
        uint8_t t;
    } cases[] = {
        {nullptr, 25, nullptr, HostClock::kSeconds, 0.28, 7},
        {nullptr, 25, nullptr, HostClock::kMilliseconds, 280.0, 7},
        {params.get(), 30, nullptr, HostClock::kMilliseconds, 1000.0 / 30 * 11, 11},
        {params.get(), 60, nullptr, HostClock::kSeconds, 1.0 / 60 * 13, 13},
    };
    for (const auto& c : cases) {
        auto instance = MakeFilterInstance(1, 1, c.embedded, c.builtRate);
        ASSERT_NE(instance, nullptr);
        instance->clock = c.clock;
        if (c.embedded == nullptr)
            for (int32_t i = 0; i < kFormulaCount; ++i) {
                const char* text = "t";
                SetParamValue(*instance, kParamFormula0 + i, &text);
            }
        const uint32_t in = 0;
        uint32_t out = 0;
        RenderInstanceFrame(*instance, c.hostTime, &in, &out);
        EXPECT_EQ(out, 0x01010101u * c.t) << c.hostTime;
    }
    auto instance = MakeFilterInstance(1, 1);
    const char* text = "t";
    SetParamValue(*instance, kParamFormula0, &text);
    const double thirty = 30, scaled = 0.000030;
    const uint32_t in = 0;
    uint32_t out = 0;
    instance->clock = HostClock::kMilliseconds;
    SetParamValue(*instance, kParamFrameRate, &thirty);
    RenderInstanceFrame(*instance, 1000.0 / 30 * 17, &in, &out);
    EXPECT_EQ(out & 0xFF, 17u);
    SetParamValue(*instance, kParamFrameRate, &scaled);  // FFmpeg's earlier form: fps / 1000000
    RenderInstanceFrame(*instance, 1000.0 / 30 * 19, &in, &out);
    EXPECT_EQ(out & 0xFF, 19u);
    double reported = 0;
    GetParamValue(*MakeFilterInstance(1, 1), kParamFrameRate, &reported);
    EXPECT_EQ(reported, kDefaultFrameRate);
}

TEST(Frei0rInstance, MapsSliderValuesOntoPositionsExactly) {
    for (int32_t k = 0; k <= 255; ++k) ASSERT_EQ(SliderPosition(k / 255.0), k) << k;
    EXPECT_EQ(SliderPosition(0.5), 128);  // 127.5 rounds up
    EXPECT_EQ(SliderPosition(1.5), 255);
    EXPECT_TRUE(SliderIsKept(-0.001));
    EXPECT_TRUE(SliderIsKept(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(SliderIsKept(0.0));
}

// A built plug-in's parameters: which sliders, in which order, under which
// names.
TEST(Frei0rInstance, ListsABuiltBlocksControlsUnderUsableNames) {
    struct Control {
        bool map;
        int32_t index;
        const char* name;  // the author's; nullptr: 256 characters, unterminated
    };
    struct Case {
        const char* what;
        std::vector<Control> enabled;
        std::vector<std::string> names;  // as offered, in order
        std::vector<int32_t> sliders;
    };
    const Case cases[] = {
        {"none", {}, {}, {}},
        {"the dialog's row order, a map as its two sliders",
         {{false, 7, "Last"}, {true, 1, "Curve"}, {false, 0, "First"}},
         {"First", "Curve 1", "Curve 2", "Last"},
         {0, 2, 3, 7}},
        {"a map hides its own sliders' flags",
         {{true, 0, "Both"}, {false, 0, "Hidden"}, {false, 1, "Hidden too"}, {false, 2, "Shown"}},
         {"Both 1", "Both 2", "Shown"},
         {0, 1, 2}},
        {"empty, unterminated, taken and plain names give way to plain names",
         {{false, 0, ""},
          {false, 1, nullptr},
          {false, 2, "Same"},
          {false, 3, "Same"},
          {false, 4, "slider-7"},
          {true, 3, ""}},
         {"slider-0", "slider-1", "Same", "slider-3", "slider-4", "slider-6", "slider-7"},
         {0, 1, 2, 3, 4, 6, 7}},
        {"a map's name that is no name once its sliders are told apart",
         {{true, 0, nullptr}, {false, 4, "X 1"}, {true, 3, "X"}},
         {"slider-0", "slider-1", "X 1", "slider-6", "X 2"},
         {0, 1, 4, 6, 7}},
    };
    for (const Case& c : cases) {
        FilterParams block{};
        for (const Control& control : c.enabled) {
            char* slot = control.map ? block.mapName[control.index] : block.sliderName[control.index];
            (control.map ? block.mapEnabled : block.sliderEnabled)[control.index] = 1;
            if (control.name == nullptr)
                memset(slot, 'n', kTextSlotSize);
            else
                snprintf(slot, kTextSlotSize, "%s", control.name);
        }
        BuiltParams params{};
        ListBuiltParams(block, &params);
        std::vector<std::string> names;
        std::vector<int32_t> sliders;
        for (int32_t i = 0; i < params.count; ++i) {
            names.push_back(params.param[i].name);
            sliders.push_back(params.param[i].slider);
        }
        EXPECT_EQ(names, c.names) << c.what;
        EXPECT_EQ(sliders, c.sliders) << c.what;
    }
}

// A built instance renders its block, whatever the editor's parameters
// would mean at the same indexes, and keeps its single-expression mode.
TEST(Frei0rInstance, ABuiltInstanceRendersItsOwnBlock) {
    FilterParams block{};
    block.size = kFilterParamsSize;
    block.built = 1;
    block.singleExpression = 1;
    block.sliderValue[3] = 77;
    block.sliderEnabled[3] = 1;
    for (int32_t i = 0; i < kFormulaCount; ++i) snprintf(block.formula[i], kFormulaSlotSize, "ctl(3)+x");
    auto instance = MakeFilterInstance(4, 2, &block);
    ASSERT_TRUE(instance);
    const char* text = "0";
    SetParamValue(*instance, kParamFormula0 + 3, &text);  // index 4: no parameter of a built instance
    double value = -1;
    GetParamValue(*instance, 0, &value);
    EXPECT_EQ(value, 77.0 / 255);
    const Frame source = NumberedFrame(4, 2, 0);
    std::vector<uint32_t> out(8);
    RenderInstanceFrame(*instance, 0, reinterpret_cast<const uint32_t*>(source.pixels.data()), out.data());
    for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(out[x], (77 + x % 4) * 0x01010101u) << x;
}

}  // namespace

// The host calls on one thread and the instance shares the frame's rows
// among several: byte for byte what one thread renders, also for formulas
// that depend on pixel order ("rnd", "put" and "get" keep to one band).
TEST(Frei0rInstance, RendersOnSeveralThreadsLikeOnOne) {
    const char* const kSets[][kFormulaCount] = {
        {"", "", "", ""},  // the default block
        {"rad(d+32,m,0)", "src(x+3,y-2,1)", "cnv(1,2,1,2,4,2,1,2,1,16)", "x*y+t"},
        {"c+rnd(0-32,32)", "c+rnd(0,x)", "rnd(y,300)", "a"},
        {"put(x+y,x%256)", "get((x+255)%256)", "get(3)+put(c,3)", "a"},
    };
    constexpr int32_t kWidth = 37, kHeight = 29;
    const Frame source = NumberedFrame(kWidth, kHeight, 2);
    const auto* in = reinterpret_cast<const uint32_t*>(source.pixels.data());
    for (const auto& set : kSets) {
        std::vector<uint32_t> expected;
        for (int32_t threads : {1, 2, 3, 5}) {
            auto instance = MakeFilterInstance(kWidth, kHeight);
            ASSERT_TRUE(instance && SetFrameThreads(*instance, threads));
            for (int32_t i = 0; i < kFormulaCount; ++i)
                if (set[i][0] != '\0') SetText(*instance, kParamFormula0 + i, set[i]);
            std::vector<uint32_t> out(size_t(kWidth) * kHeight, 0);
            RenderInstanceFrame(*instance, 1.0, in, out.data());
            if (threads == 1)
                expected = out;
            else
                EXPECT_EQ(out, expected) << threads << " threads: " << set[0] << "; " << set[1];
        }
    }
}

TEST(Frei0rInstance, TakesOnlyThreadCountsItCanRunOn) {
    auto instance = MakeFilterInstance(8, 8);
    ASSERT_TRUE(instance);
    EXPECT_GE(instance->threads, 1);
    EXPECT_FALSE(SetFrameThreads(*instance, 0));
    EXPECT_FALSE(SetFrameThreads(*instance, kMaxFrameThreads + 1));
    EXPECT_TRUE(SetFrameThreads(*instance, kMaxFrameThreads));
    EXPECT_EQ(instance->threads, kMaxFrameThreads);
    EXPECT_EQ(instance->helperStates.size(), size_t(kMaxFrameThreads - 1));
}
