// Random formulas on random small frames: every executor (the interpreter
// on specialised programs, the vector executor on each instruction set this
// machine offers, native code at AVX-512 and AVX2) against a pixel-by-pixel
// reference that runs the decoded programs unspecialised, and what must
// hold for any formula.
#include <gtest/gtest.h>

#include <random>

#include "FormulaGenerator.h"
#include "RuntimeSupport.h"

namespace {

struct Scene {
    TestClip clip;
    FilterParams params{};
    std::unique_ptr<InstanceState> state = NewState();
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();
    // Two helpers, for bands of rows on other threads.
    std::unique_ptr<InstanceState> helperStates[2] = {NewState(), NewState()};
    std::unique_ptr<RowWorkspace> helperRows[2] = {std::make_unique<RowWorkspace>(), std::make_unique<RowWorkspace>()};

    Scene(std::mt19937& random, int32_t width, int32_t height) : clip(width, height) {
        for (uint8_t& byte : clip.source.pixels) byte = static_cast<uint8_t>(random());
        for (int32_t& slider : params.sliderValue) slider = static_cast<int32_t>(random() % 256);
        clip.record.time = static_cast<int32_t>(random() % 100);
        clip.record.total = 99;
        state->time = clip.record.time;
    }

    void Compile() {
        CompileFormulas(state.get(), &params);
        DecodeFormulas(state.get(), &workspace->programs);
    }

    std::vector<uint8_t> Render(ExecutorChoice executor, int32_t helpers = 0) {
        std::fill(clip.destination.pixels.begin(), clip.destination.pixels.end(), 0);
        workspace->programs.executor = executor;
        const RowHelper list[2] = {{helperStates[0].get(), helperRows[0].get()},
                                   {helperStates[1].get(), helperRows[1].get()}};
        EXPECT_EQ(RenderFilterFrame(&clip.record, state.get(), &params, workspace.get(), nullptr, kSourceHoldsFrame,
                                    list, helpers),
                  kRenderDone);
        return clip.destination.pixels;
    }

    // The reference: every pixel and channel in render order, each a run of
    // the decoded program as the compiler left it.
    std::vector<uint8_t> Reference() {
        PrepareFrame(&clip.record, state.get(), &params);
        const PixelMap& map = clip.source.map;
        InstanceState* s = state.get();
        s->xMin = map.bounds.left, s->xMax = map.bounds.right;
        s->yMin = map.bounds.top, s->yMax = map.bounds.bottom;
        s->channelMin = 0, s->channelMax = 4, s->timeMin = 0;
        s->time = clip.record.time, s->total = clip.record.total;
        s->rowBytes[kSourceSlot] = map.rowBytes;
        s->baseAddress[kSourceSlot] = map.baseAddress;
        std::vector<uint8_t> out(clip.destination.pixels.size(), 0);
        for (s->row = s->yMin; s->row < s->yMax; ++s->row) {
            for (s->x = s->xMin; s->x < s->xMax; ++s->x) {
                s->pixelAddress[kSourceSlot] = clip.source.At(s->x, s->row);
                uint8_t* pixel = out.data() + (clip.destination.At(s->x, s->row) - clip.destination.pixels.data());
                for (int32_t p = 0; p < 4; ++p) {
                    s->channel = params.singleExpression ? 0 : p;
                    const int32_t v = RunProgram(&workspace->programs.program[params.singleExpression ? 3 : p], s);
                    pixel[p] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                    if (params.singleExpression) {
                        std::memset(pixel, pixel[0], 4);
                        break;
                    }
                }
            }
        }
        return out;
    }
};

// The instruction sets of the vector executor, each pinned in turn.
struct Targets {
    int64_t list[8];
    int32_t count = VectorTargets(list, 8);
    ~Targets() { UseVectorTarget(0); }
};

// The native instruction sets this processor runs.
struct NativeSet {
    ExecutorChoice choice;
    NativeIsa isa;
};
constexpr NativeSet kNativeSets[] = {{kNativeAvx512Only, kNativeAvx512}, {kNativeAvx2Only, kNativeAvx2}};

// How many frames each kind of executor took.
struct Counts {
    int32_t vectorised = 0;
    int32_t native[2] = {};
};

// Renders the scene with every executor and compares each with `expected`.
void ExpectEveryExecutor(Scene& scene, const Targets& targets, const std::vector<uint8_t>& expected,
                         const std::string& formulas, Counts* counts) {
    ASSERT_EQ(scene.Render(kInterpreterOnly), expected) << "interpreter\n" << formulas;
    for (int32_t k = 0; k < targets.count; ++k) {
        UseVectorTarget(targets.list[k]);
        ASSERT_EQ(scene.Render(kVectorOnly), expected) << VectorTargetName(targets.list[k]) << "\n" << formulas;
    }
    UseVectorTarget(0);
    counts->vectorised += scene.workspace->programs.plan.vector;
    for (int32_t k = 0; k < 2; ++k) {
        if (!NativeIsaSupported(kNativeSets[k].isa)) continue;
        ASSERT_EQ(scene.Render(kNativeSets[k].choice), expected) << NativeIsaName(kNativeSets[k].isa) << "\n"
                                                                 << formulas;
        counts->native[k] += scene.workspace->programs.plan.native == kNativeSets[k].isa;
    }
    // Bands of rows on three threads (order-free frames only; the others
    // keep to one).
    UseVectorTarget(0);
    ASSERT_EQ(scene.Render(kBestExecutor, 2), expected) << "bands\n" << formulas;
}

// Fewer under the sanitizers, which slow the portable instruction set most.
#ifdef FABLIX_SANITIZED
constexpr int32_t kScenes = 1000;
#else
constexpr int32_t kScenes = 3000;
#endif

TEST(Differential, RandomFormulasRenderLikeTheReference) {
    std::mt19937 random(20261208);
    FormulaGenerator generator(7);
    Targets targets;  // none in a build without the vector executor
    int32_t compiled = 0;
    Counts counts;
    for (int32_t n = 0; n < kScenes; ++n) {
        // Mostly small frames (edges everywhere); some wider than a block of
        // lanes, and every tenth one without "put" and "get", which keep a
        // frame on the interpreter.
        const bool wide = n % 50 == 0;
        Scene scene(random,
                    wide ? kVectorBlock + 1 + static_cast<int32_t>(random() % 40)
                         : 1 + static_cast<int32_t>(random() % 40),
                    1 + static_cast<int32_t>(random() % (wide ? 3 : 9)));
        generator.SetCells(n % 10 != 0);
        std::string formulas[kFormulaCount];
        for (int32_t i = 0; i < kFormulaCount; ++i) {
            formulas[i] = generator.Formula().substr(0, kFormulaSlotSize - 1);
            std::strcpy(scene.params.formula[i], formulas[i].c_str());
        }
        const std::string all = formulas[0] + "\n" + formulas[1] + "\n" + formulas[2] + "\n" + formulas[3];
        scene.Compile();
        for (int32_t i = 0; i < kFormulaCount; ++i) compiled += scene.state->compileFailed[i] == 0;

        const std::vector<uint8_t> reference = scene.Reference();
        ExpectEveryExecutor(scene, targets, reference, all, &counts);
        if (HasFatalFailure()) return;

        scene.params.singleExpression = 1;
        const std::vector<uint8_t> single = scene.Reference();
        ExpectEveryExecutor(scene, targets, single, formulas[3], &counts);
        if (HasFatalFailure()) return;
        for (size_t i = 0; i < single.size(); i += 4)
            ASSERT_TRUE(single[i] == single[i + 1] && single[i] == single[i + 2] && single[i] == single[i + 3]);
    }
    // The generator must mostly produce formulas that compile, and the
    // vector executor must take a fair share of the frames, or the
    // comparisons above say little.
    EXPECT_GT(compiled, kScenes * kFormulaCount * 9 / 10);
    if (targets.count > 0) {
        EXPECT_GT(counts.vectorised, kScenes / 4);
    }
    for (int32_t k = 0; k < 2; ++k)
        if (NativeIsaSupported(kNativeSets[k].isa)) {
            EXPECT_GT(counts.native[k], kScenes / 10) << NativeIsaName(kNativeSets[k].isa);
        }
    std::printf("frames: %d vectorised, %d native AVX-512, %d native AVX2 of %d\n", counts.vectorised, counts.native[0],
                counts.native[1], 2 * kScenes);
}

}  // namespace
