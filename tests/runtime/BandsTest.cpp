// A frame in bands of rows on several threads is byte for byte the frame
// on one, on every executor: "rnd" included, each band's generator skipped
// to its first pixel's draws; cells one pixel sees of another keep the
// frame on one thread.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

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

// Every share on a thread of its own, as the plug-in's execute starts them.
void RunOnTestThreads(void*, int32_t count, void (*work)(void*, int32_t), void* context) {
    std::vector<std::thread> threads;
    for (int32_t k = 1; k < count; ++k) threads.emplace_back(work, context, k);
    work(context, 0);
    for (std::thread& thread : threads) thread.join();
}

// The probe of the host's thread: counts where it is asked, and asks to
// stop once it has been asked `gStopAfter` times.
std::thread::id gCaller;
std::atomic<int32_t> gProbes{0}, gProbesElsewhere{0};
int32_t gStopAfter = INT_MAX;

bool CountingProbe() {
    if (std::this_thread::get_id() != gCaller) ++gProbesElsewhere;
    return ++gProbes >= gStopAfter;
}

// A frame rendered by a caller that keeps no workspace, on `threadCount`
// threads (1: no threads at all), its destination filled with kUntouched first.
constexpr uint8_t kUntouched = 0xA5;
struct OwnFrame {
    TestClip clip{700, 400};  // rows for three helpers at one per 2^16 pixels
    FilterParams params{};
    std::unique_ptr<InstanceState> state = NewState();

    explicit OwnFrame(const BandsCase& c) {
        for (size_t i = 0; i < clip.source.pixels.size(); ++i) clip.source.pixels[i] = uint8_t(i * 5 + i / 3);
        params.singleExpression = c.single ? 1 : 0;
        for (int32_t i = 0; i < kFormulaCount; ++i) std::strcpy(params.formula[i], c.formula[i]);
        clip.record.time = 3;
        clip.record.total = 10;
        CompileFormulas(state.get(), &params);
    }
    RenderResult Render(int32_t threadCount, int32_t stopAfter = INT_MAX) {
        std::fill(clip.destination.pixels.begin(), clip.destination.pixels.end(), kUntouched);
        gCaller = std::this_thread::get_id();
        gProbes = 0;
        gProbesElsewhere = 0;
        gStopAfter = stopAfter;
        const BandThreads threads{RunOnTestThreads, nullptr};
        return RenderInOwnWorkspace(&clip.record, state.get(), &params, CountingProbe, kSourceHoldsFrame,
                                    threadCount > 1 ? &threads : nullptr, threadCount);
    }
    // Rows of `pixels` equal to those of `expected`, and rows wholly untouched.
    void CountRows(const std::vector<uint8_t>& expected, int32_t* same, int32_t* untouched) const {
        const size_t rowBytes = size_t(clip.destination.map.rowBytes);
        const std::vector<uint8_t> blank(rowBytes, kUntouched);
        *same = *untouched = 0;
        for (size_t at = 0; at < expected.size(); at += rowBytes) {
            const uint8_t* row = clip.destination.pixels.data() + at;
            if (std::equal(row, row + rowBytes, expected.data() + at)) ++*same;
            if (std::equal(row, row + rowBytes, blank.data())) ++*untouched;
        }
    }
};

TEST(Bands, WithoutAWorkspaceKeptTheFrameGoesInBandsAndOnlyTheCallerProbes) {
    for (const BandsCase& c : kCases) {
        OwnFrame frame(c);
        ASSERT_EQ(frame.Render(1), kRenderDone) << c.name;
        const std::vector<uint8_t> expected = frame.clip.destination.pixels;
        EXPECT_EQ(gProbes, 400) << c.name;  // once a row
        for (int32_t threads : {2, 4}) {
            EXPECT_EQ(frame.Render(threads), kRenderDone) << c.name;
            EXPECT_EQ(frame.clip.destination.pixels, expected) << c.name << " on " << threads << " threads";
            EXPECT_EQ(gProbesElsewhere, 0) << c.name;
            // Every case draws: one band of rows each, the caller's first.
            EXPECT_EQ(gProbes, c.inOrder ? 400 : 400 / threads) << c.name;
        }
    }
}

TEST(Bands, AStopAskedOnTheCallingThreadLeavesEveryRowWholeOrUntouched) {
    for (const BandsCase& c : kCases) {
        OwnFrame frame(c);
        ASSERT_EQ(frame.Render(1), kRenderDone);
        const std::vector<uint8_t> expected = frame.clip.destination.pixels;
        for (int32_t threads : {1, 4}) {
            EXPECT_EQ(frame.Render(threads, 3), kRenderStopped) << c.name;
            int32_t same, untouched;
            frame.CountRows(expected, &same, &untouched);
            EXPECT_EQ(same + untouched, 400) << c.name << " on " << threads << " threads";
            // One thread, or cells that keep the frame on it: the first
            // three rows exactly.
            if (threads == 1 || c.inOrder) {
                EXPECT_EQ(same, 3) << c.name;
            }
            EXPECT_GE(same, 3) << c.name;
        }
    }
}

}  // namespace
