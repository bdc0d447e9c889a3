// A frame in bands of rows on several threads is byte for byte the frame
// on one, on every executor: "rnd" included, each band's generator skipped
// to its first pixel's draws; cells one pixel sees of another keep the
// frame on one thread.
#include <gtest/gtest.h>

#include "Random.h"
#include "RuntimeSupport.h"

namespace {

constexpr int32_t kHelpers = 3;

struct BandsCase {
    const char* name;
    const char* formula[kFormulaCount];
    bool single;
    bool inOrder;  // what the plan must decide
};

const BandsCase kCases[] = {
    // The film grain of examples/: one draw per pixel, shared by the channels.
    {"FilmGrain", {"b+put(rnd(-val(0,0,64),val(0,0,64)),0)", "g+get(0)", "r+get(0)", "a"}, false, false},
    {"NoisePerChannel", {"c+rnd(0-32,32)", "c+rnd(0-32,32)", "c+rnd(0-32,32)", "a"}, false, false},
    // Folded per row, and under "?:", whose both sides run: still fixed draws.
    {"PerRowAndChosen", {"y%3?rnd(0,255):c", "rnd(x,y)", "x<5?c:rnd(0,9)+rnd(0,9)", "a"}, false, false},
    {"Single", {"c", "c", "c", "rnd(0,255)^c"}, true, false},
    {"CellsAcrossPixels", {"put(get(1)+rnd(0,3),1)&255", "g", "r", "a"}, false, true},
};

struct Executor {
    ExecutorChoice choice;
    NativeIsa needs;  // kNoNativeIsa: runs anywhere
};
constexpr Executor kExecutors[] = {{kInterpreterOnly, kNoNativeIsa},
                                   {kVectorOnly, kNoNativeIsa},
                                   {kNativeAvx512Only, kNativeAvx512},
                                   {kNativeAvx2Only, kNativeAvx2},
                                   {kBestExecutor, kNoNativeIsa}};

struct Size {
    int32_t width, height;
};
// Rows not a multiple of the bands, rows wider than a chunk of draws, and
// fewer rows than bands.
constexpr Size kSizes[] = {{37, 29}, {300, 7}, {5, 2}};

struct Frame {
    TestClip clip;
    FilterParams params{};
    std::unique_ptr<InstanceState> state = NewState();
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();
    std::unique_ptr<InstanceState> helperStates[kHelpers] = {NewState(), NewState(), NewState()};
    std::unique_ptr<RowWorkspace> helperRows[kHelpers] = {std::make_unique<RowWorkspace>(),
                                                          std::make_unique<RowWorkspace>(),
                                                          std::make_unique<RowWorkspace>()};

    Frame(const BandsCase& c, Size size) : clip(size.width, size.height) {
        for (size_t i = 0; i < clip.source.pixels.size(); ++i) clip.source.pixels[i] = uint8_t(i * 7 + i / 5);
        params.sliderValue[0] = 200;
        params.singleExpression = c.single ? 1 : 0;
        for (int32_t i = 0; i < kFormulaCount; ++i) std::strcpy(params.formula[i], c.formula[i]);
        clip.record.time = 7;
        clip.record.total = 20;
        state->time = clip.record.time;
        CompileFormulas(state.get(), &params);
        DecodeFormulas(state.get(), &workspace->programs);
    }

    std::vector<uint8_t> Render(ExecutorChoice executor, int32_t helpers) {
        std::fill(clip.destination.pixels.begin(), clip.destination.pixels.end(), 0);
        workspace->programs.executor = executor;
        RowHelper list[kHelpers];
        for (int32_t k = 0; k < kHelpers; ++k) list[k] = {helperStates[k].get(), helperRows[k].get()};
        EXPECT_EQ(RenderFilterFrame(&clip.record, state.get(), &params, workspace.get(), nullptr, kSourceHoldsFrame,
                                    list, helpers),
                  kRenderDone);
        return clip.destination.pixels;
    }
};

TEST(Bands, RenderLikeOneThreadOnEveryExecutor) {
    for (const BandsCase& c : kCases) {
        for (Size size : kSizes) {
            Frame frame(c, size);
            for (int32_t i = 0; i < kFormulaCount; ++i)
                ASSERT_TRUE(frame.state->compileFailed[i] == 0) << c.name << " formula " << i;  // a packed field
            const std::vector<uint8_t> expected = frame.Render(kInterpreterOnly, 0);
            EXPECT_EQ(frame.workspace->programs.plan.inOrder, c.inOrder) << c.name;
            for (const Executor& executor : kExecutors) {
                if (executor.needs != kNoNativeIsa && !NativeIsaSupported(executor.needs)) continue;
                for (int32_t helpers : {0, 1, kHelpers})
                    EXPECT_EQ(frame.Render(executor.choice, helpers), expected)
                        << c.name << " " << size.width << "x" << size.height << ", executor " << executor.choice << ", "
                        << helpers << " helpers";
            }
        }
    }
}

}  // namespace
