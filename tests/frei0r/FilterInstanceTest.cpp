// The instance behind the frei0r functions: when it compiles, and how the
// host's time becomes "t" and "T".
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
        {"a settings file that cannot be read: the same formulas", [&] { SetText(*instance, kParamSettings, missing.c_str()); }, 2},
        {"a formula set back to empty", [&] { SetText(*instance, kParamFormula0 + 1, nullptr); }, 3},
        {"a formula refused as too long", [&] { SetText(*instance, kParamFormula0, std::string(2000, '1').c_str()); }, 3},
    };
    testing::internal::CaptureStderr();
    for (const Step& step : steps) {
        step.change();
        render(0.5);
        EXPECT_EQ(instance->compileCount, step.compiles) << step.what;
    }
    testing::internal::GetCapturedStderr();
}

TEST(Frei0rInstance, TurnsHostTimeIntoFrameIndexes) {
    struct Case {
        double seconds, frameRate;
        int32_t t;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {0.0, kDefaultFrameRate, 0},        {0.04, kDefaultFrameRate, 1},      {0.12, kDefaultFrameRate, 3},
        {0.039999, kDefaultFrameRate, 1},   {10.0, kDefaultFrameRate, 250},    {1.0 / 30 * 7, 0.03, 7},
        {1001.0 / 30000 * 9, 0.02997, 9},   {280.0, 0.000025, 7},              {-0.08, kDefaultFrameRate, -2},
        {1e12, kDefaultFrameRate, 2147483647}, {-1e12, kDefaultFrameRate, -2147483647 - 1}, {nan, 0.025, 0},
        {1.0, 0.0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(FrameIndex(c.seconds, c.frameRate), c.t) << c.seconds << " s at " << c.frameRate;

    struct Length {
        double clipLength;
        int32_t total;
    };
    const Length lengths[] = {{kDefaultClipLength, 249}, {0.000004, 3}, {0.000001, 0}, {0.0, 0}, {-1.0, 0}, {nan, 0},
                              {1.0, 999999}, {1e9, 2147483646}};
    for (const Length& l : lengths) EXPECT_EQ(LastFrameIndex(l.clipLength), l.total) << l.clipLength;
}

TEST(Frei0rInstance, MapsSliderValuesOntoPositionsExactly) {
    for (int32_t k = 0; k <= 255; ++k) ASSERT_EQ(SliderPosition(k / 255.0), k) << k;
    EXPECT_EQ(SliderPosition(0.5), 128);  // 127.5 rounds up
    EXPECT_EQ(SliderPosition(1.5), 255);
    EXPECT_TRUE(SliderIsKept(-0.001));
    EXPECT_TRUE(SliderIsKept(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(SliderIsKept(0.0));
}

}  // namespace
