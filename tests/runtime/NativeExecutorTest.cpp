// The native executor against the interpreter: every example, the edges of
// the arithmetic and of the frame, parts shared across channels and those
// that only just miss being shared, the compiler's corpus and mutations of
// it; and the kernel's life: made once per compile, never writable while
// it can run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "NativeExecutor.h"
#include "RuntimeSupport.h"
#include "SettingsSaveLoad.h"

namespace {

// Every executor that can run a frame here, with the native instruction
// set it asks for.
struct Executor {
    ExecutorChoice choice;
    NativeIsa isa;
    const char* name;
};
constexpr Executor kExecutors[] = {
    {kVectorOnly, kNoNativeIsa, "vector"},
    {kNativeAvx512Only, kNativeAvx512, "native AVX-512"},
    {kNativeAvx2Only, kNativeAvx2, "native AVX2"},
    {kBestExecutor, kNoNativeIsa, "best"},
};

struct Scene {
    TestClip clip;
    FilterParams params{};
    std::unique_ptr<InstanceState> state = NewState();
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();

    Scene(int32_t width, int32_t height, uint32_t pattern = 1) : clip(width, height) {
        std::mt19937 random(pattern);
        for (uint8_t& byte : clip.source.pixels) byte = static_cast<uint8_t>(random());
        for (int32_t k = 0; k < kSliderCount; ++k) params.sliderValue[k] = static_cast<int32_t>(random() % 256);
        clip.record.time = 7;
        clip.record.total = 99;
    }
    void SetFormulas(const std::string formulas[kFormulaCount]) {
        for (int32_t i = 0; i < kFormulaCount; ++i)
            std::snprintf(params.formula[i], kFormulaSlotSize, "%s", formulas[i].c_str());
        Compile();
    }
    void Compile() {
        CompileFormulas(state.get(), &params);
        DecodeFormulas(state.get(), &workspace->programs);
    }
    std::vector<uint8_t> Render(ExecutorChoice executor) {
        std::fill(clip.destination.pixels.begin(), clip.destination.pixels.end(), 0);
        workspace->programs.executor = executor;
        EXPECT_EQ(RenderFilterFrame(&clip.record, state.get(), &params, workspace.get(), nullptr, kSourceHoldsFrame),
                  kRenderDone);
        return clip.destination.pixels;
    }
    NativeIsa Native() const { return workspace->programs.plan.native; }
};

// Renders the scene with every executor, in both modes; each must give the
// interpreter's bytes. Returns the native sets that ran the frame in the
// four-channel mode, as bits (1 << isa).
int32_t ExpectEveryExecutorAgrees(Scene& scene, const std::string& what) {
    int32_t native = 0;
    for (int32_t single = 0; single < 2; ++single) {
        scene.params.singleExpression = single;
        const std::vector<uint8_t> expected = scene.Render(kInterpreterOnly);
        for (const Executor& executor : kExecutors) {
            if (executor.isa != kNoNativeIsa && !NativeIsaSupported(executor.isa)) continue;
            EXPECT_EQ(scene.Render(executor.choice), expected)
                << executor.name << (single ? ", single: " : ": ") << what;
            if (single == 0 && executor.isa != kNoNativeIsa && scene.Native() == executor.isa)
                native |= 1 << executor.isa;
        }
    }
    scene.params.singleExpression = 0;
    return native;
}

int32_t Supported() {
    int32_t bits = 0;
    for (NativeIsa isa : {kNativeAvx2, kNativeAvx512})
        if (NativeIsaSupported(isa)) bits |= 1 << isa;
    return bits;
}

TEST(NativeExecutor, RendersEveryExampleLikeTheInterpreter) {
    const struct {
        const char* name;
        int32_t native;  // the sets expected to run it, of those supported
    } kExamples[] = {
        {"blur", 1 << kNativeAvx512 | 1 << kNativeAvx2},      {"colour-cycle", 1 << kNativeAvx512 | 1 << kNativeAvx2},
        {"default", 1 << kNativeAvx512 | 1 << kNativeAvx2},   {"duotone", 1 << kNativeAvx512 | 1 << kNativeAvx2},
        {"emboss", 1 << kNativeAvx512 | 1 << kNativeAvx2},    {"film-grain", 1 << kNativeAvx512 | 1 << kNativeAvx2},
        {"fisheye", 1 << kNativeAvx512 | 1 << kNativeAvx2},   {"pixelate", 1 << kNativeAvx512 | 1 << kNativeAvx2},
        {"posterize", 1 << kNativeAvx512 | 1 << kNativeAvx2}, {"sharpen", 1 << kNativeAvx512 | 1 << kNativeAvx2},
        {"twirl", 1 << kNativeAvx512 | 1 << kNativeAvx2},     {"vignette", 1 << kNativeAvx512 | 1 << kNativeAvx2},
    };
    int32_t seen = 0;
    for (const auto& example : kExamples) {
        const std::string path = std::string(FABLIX_EXAMPLES_DIR) + "/" + example.name + ".fbl";
        for (const auto& [width, height] : {std::pair{61, 37}, std::pair{17, 4}, std::pair{1, 3}}) {
            Scene scene(width, height, static_cast<uint32_t>(width));
            ASSERT_EQ(LoadSettingsFile(path.c_str(), &scene.params), kSettingsFileDone) << path;
            scene.Compile();
            const int32_t native = ExpectEveryExecutorAgrees(scene, example.name);
            EXPECT_EQ(native, example.native & Supported()) << example.name << " " << width << " x " << height;
        }
        ++seen;
    }
    EXPECT_EQ(seen, static_cast<int32_t>(std::distance(std::filesystem::directory_iterator(FABLIX_EXAMPLES_DIR),
                                                       std::filesystem::directory_iterator())));
}

// The arithmetic's edges and the frame's, on frames 1 to 17 pixels wide
// (every count of lanes left over at the end of a row) and 1 to 3 high.
TEST(NativeExecutor, AgreesOnTheEdges) {
    const char* const kSets[][kFormulaCount] = {
        // wrapping
        {"x*0x7fffffff+y", "0x7fffffff+x-y*0x10000000", "-(x-8)*0x80000000", "abs(x*0x40000000)"},
        // quotients by 0 and -1, and of the smallest value
        {"(x-8)/(y-1)", "0x80000000/(x-x-1)+(x*7)%(y-1)", "(0x80000000+x)%(0-1)+(0x80000000+x)/(x-8)",
         "(x*1000-8000)/7%3+(y-x)/2"},
        // table indices out of range
        {"map(x-2,y*100-50)+ctl(x-3)", "val(x-3,y,0-y*1000)+val(9,5,10)", "map(x%5,x*300-2000)",
         "ctl(0-x)+map(0x80000000,x)"},
        // the source at and past the frame's edges
        {"src(x*3-20,y*5-3,x-1)", "rad(x*37,y*50-20,x%6-1)", "rad1(x*100,m+y*9,p)", "cnv(x,1,-2,y,5,1,0,2,1,x-8)"},
        // polar and trigonometry on wide values
        {"sin(x*100000000)+cos(y*0x7fffffff)", "tan(x*128-y)+c2d(x-8,y-2)",
         "c2m(x*0x10000000,y*0x10000000)+c2d(x*0x10000000,0-y)", "r2x(x*77,0x7fffffff-y)+r2y(y*99,x*0x1000000)"},
        // colour, choice, logic and shifts
        {"i+u*v-d", "x<y?x:0-y", "(x&&y)+(x||0)+!x+~y+(x<<y)+(y>>x)+(0-x>>28)", "mix(x,y,x*y,x-8)+dif(x,y)"},
        {"min(x,y)+max(0-x,y)+add(x,y,5)+sub(x,y,0-3)", "x==y|x!=3^x<=y&x>=2", "(x,y,c)", "m*d/(M+1)"},
        {"c*val(0,2,9)/256*255/(val(0,2,9)-1)", "(x-8)/4+(x-8)/1+(x-8)/0x40000000", "x>>33<<35", "debug+t+T"},
        // "cnv" by values of the row alone (read from the row's literals): at the edges, by 0 and -1
        {"cnv(1,2,1,2,4,2,1,2,1,16)", "cnv(0,-1,0,-1,5,-1,0,-1,0,0)",
         "cnv(9,8,7,6,5,4,3,2,1,0-1)+cnv(y,0,0,0,1,0,0,0,y,y+1)", "cnv(0x7fffffff,ctl(1),0,0,0,0,0,0,val(2,0,9),3)"},
        // whole roots: about the squares, of 0, 1 and negatives, and of the widest values (of the
        // pixel or the row: roots of the column alone are tabulated by the interpreter)
        {"sqrt(c*c-y)*1000+sqrt(c*c)", "sqrt(0x7fffffff-c*y)+sqrt(0x7ffe0000+x*y)", "sqrt(c-1)*256+sqrt(y-c)",
         "sqrt(x*0x7ffffff+y*c*999999)+sqrt(0x80000000+c)"},
    };
    for (const auto& set : kSets) {
        const std::string formulas[kFormulaCount] = {set[0], set[1], set[2], set[3]};
        for (int32_t width = 1; width <= 17; ++width)
            for (int32_t height = 1; height <= 3; ++height) {
                Scene scene(width, height, static_cast<uint32_t>(width * 4 + height));
                scene.SetFormulas(formulas);
                const std::string what = formulas[0] + " | " + formulas[1] + " | " + formulas[2] + " | " + formulas[3] +
                                         " at " + std::to_string(width) + " x " + std::to_string(height);
                ExpectEveryExecutorAgrees(scene, what);
                if (HasFailure()) return;
            }
    }
}

// Programs that only move bytes (a source byte or a value of the row per
// channel) take a shuffle of the source; those just beside them compute.
// Values of the row out of 0..255 are clamped, and may change from row to
// row. Frames 1 to 17 wide: every count of lanes left at a row's end.
TEST(NativeExecutor, MovesTheBytesOfCopyingProgramsLikeTheInterpreter) {
    const char* const kSets[][kFormulaCount] = {
        {"b", "g", "r", "a"},
        {"r", "g", "b", "a"},
        {"a", "b", "c", "g"},
        {"c", "c", "c", "c"},
        {"b", "300", "y*100-150", "0-5"},
        {"7", "ctl(2)", "val(1,0,400)", "t*40"},
        {"b", "g", "r", "a+1"},
        {"b", "g", "r", "x"},
    };
    for (const auto& set : kSets) {
        const std::string formulas[kFormulaCount] = {set[0], set[1], set[2], set[3]};
        for (int32_t width = 1; width <= 17; ++width) {
            Scene scene(width, 3, static_cast<uint32_t>(width));
            scene.SetFormulas(formulas);
            const std::string what = formulas[0] + " | " + formulas[1] + " | " + formulas[2] + " | " + formulas[3] +
                                     " at " + std::to_string(width);
            EXPECT_EQ(ExpectEveryExecutorAgrees(scene, what), Supported()) << what;
            if (HasFailure()) return;
        }
    }
}

// Parts computed once for several channels, and parts that only just miss
// it: a literal that differs, a part that reads the channel, literals that
// agree in some rows only (the kernel made by the first row must not take
// the others).
TEST(NativeExecutor, SharesPartsOnlyWhereTheyAreAlike) {
    const char* const kSets[][kFormulaCount] = {
        {"rad(d+32,m,0)", "rad(d+32,m,1)", "rad(d+32,m,2)", "a"},
        {"rad(d+32,m,0)", "rad(d+33,m,1)", "rad(d+32,m+1,2)", "rad(d+32,m,p)"},
        {"src(x+p,y,1)", "src(x+p,y,1)", "src(x-1,y,p)", "src(x-1,y,0)"},
        {"c*2+m", "c*2+m", "(x+p)*3", "(x+p)*3"},
        {"x+(y>5?y:0)", "x+y", "x+(y>5?y:0)", "cnv(1,2,1,2,4,2,1,2,1,16)+cnv(0,1,0,1,1,1,0,1,0,5)"},
        {"cnv(1,2,1,2,4,2,1,2,1,16)", "cnv(1,2,1,2,4,2,1,2,1,16)", "cnv(0,-1,0,-1,5,-1,0,-1,0,1)", "a"},
        {"rad(d+val(0,0,512)*max(M/3-m,0)/(M/3),m,p)", "rad(d+val(0,0,512)*max(M/3-m,0)/(M/3),m,p)",
         "rad(d+val(1,0,512)*max(M/3-m,0)/(M/3),m,p)", "a"},
    };
    for (const auto& set : kSets) {
        const std::string formulas[kFormulaCount] = {set[0], set[1], set[2], set[3]};
        for (const auto& [width, height] : {std::pair{23, 9}, std::pair{40, 7}}) {
            Scene scene(width, height, static_cast<uint32_t>(height));
            scene.SetFormulas(formulas);
            const int32_t native = ExpectEveryExecutorAgrees(scene, formulas[0] + " | " + formulas[1]);
            EXPECT_EQ(native & (1 << kNativeAvx512), Supported() & (1 << kNativeAvx512)) << formulas[0];
        }
    }
}

// "put" and "get" within a pixel: every "get" after a "put" to its cell,
// both by literals. Programs that hold to it run natively and in bands;
// those that just miss it keep to the interpreter, in order. Every one
// renders as the interpreter does in pixel order.
TEST(NativeExecutor, RunsCellsPerLaneOnlyWhereNoPixelSeesAnothers) {
    const struct {
        const char* formulas[kFormulaCount];
        bool inPixel;
    } kCases[] = {
        {{"put(x*3,0)", "get(0)", "get(0)+c", "a"}, true},
        {{"put(c,7),put(x,1)", "get(1)*get(7)", "put(y,7)+get(7)", "get(1)"}, true},
        {{"b+put(rnd(0-9,9),0)", "g+get(0)", "r+get(0)", "a"}, true},
        {{"x>3?put(x,0):0", "get(0)", "c", "a"}, true},         // every operand runs: the "put" too
        {{"put(x,300)", "get(300)+get(0-1)", "c", "a"}, true},  // cells outside 0..255: nothing stored, 0 read
        {{"put(x,1+2)", "get(5-2)", "c", "a"}, true},           // names made of literals alone
        {{"b", "g", "put(r,9),get(9)", "get(9)"}, true},        // the put in a later channel, every get after it
        {{"put(x,ctl(0))", "get(ctl(0))", "c", "a"}, false},    // a cell named by a slider, which changes by frame
        {{"get(0)+put(x,0)", "get(0)", "c", "a"}, false},       // a get before its put
        {{"get(0)", "put(x,0)", "c", "a"}, false},              // the put in a later channel
        {{"put(x,1)", "get(0)", "c", "a"}, false},              // another cell
        {{"put(x,x%2)", "get(0)", "get(1)", "a"}, false},       // a cell named by the pixel
        {{"put(x,0)", "get(y%2)", "c", "a"}, false},            // ... or by the row
    };
    for (const auto& c : kCases) {
        const std::string formulas[kFormulaCount] = {c.formulas[0], c.formulas[1], c.formulas[2], c.formulas[3]};
        const std::string what = formulas[0] + " | " + formulas[1] + " | " + formulas[2];
        Scene scene(37, 6, 3);
        scene.SetFormulas(formulas);
        const std::vector<uint8_t> expected = scene.Render(kInterpreterOnly);
        EXPECT_EQ(scene.workspace->programs.plan.cellsInPixel, c.inPixel) << what;
        const int32_t native = ExpectEveryExecutorAgrees(scene, what);
        EXPECT_EQ(native, c.inPixel ? Supported() : 0) << what;
        // Bands of rows on other threads, where the plan allows them.
        std::unique_ptr<InstanceState> states[2] = {NewState(), NewState()};
        auto rows = std::make_unique<RowWorkspace[]>(2);
        const RowHelper helpers[2] = {{states[0].get(), &rows[0]}, {states[1].get(), &rows[1]}};
        scene.workspace->programs.executor = kBestExecutor;
        EXPECT_EQ(RenderFilterFrame(&scene.clip.record, scene.state.get(), &scene.params, scene.workspace.get(),
                                    nullptr, kSourceHoldsFrame, helpers, 2),
                  kRenderDone);
        EXPECT_EQ(scene.clip.destination.pixels, expected) << "bands: " << what;
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The compiler's corpus and mutations of it: every executor agrees with the
// interpreter, whatever the formula (the sanitizer build checks that no
// read leaves the frame outside the generated code).
TEST(NativeExecutor, AgreesOnTheCompilersCorpusAndItsMutations) {
    std::vector<std::string> corpus;
    for (const auto& entry : std::filesystem::directory_iterator(FABLIX_CORPUS_DIR))
        corpus.push_back(ReadFile(entry.path()));
    ASSERT_GE(corpus.size(), size_t(5));
    const char* const kPieces[] = {"x", "y", "c", "p", "d",    "m",    "-1",   "0x80000000", "(",  ")",  ",", "+",
                                   "/", "%", "?", ":", "src(", "rad(", "cnv(", "map(",       "<<", ">>", "*", "0"};
    std::mt19937 random(4711);
#ifdef FABLIX_SANITIZED
    constexpr int32_t kMutations = 60;
#else
    constexpr int32_t kMutations = 300;
#endif
    int32_t native = 0;
    for (int32_t n = 0; n < kMutations; ++n) {
        std::string formulas[kFormulaCount];
        for (std::string& formula : formulas) {
            formula = corpus[random() % corpus.size()].substr(0, kFormulaSlotSize - 1);
            for (int32_t edit = static_cast<int32_t>(random() % 4); edit > 0 && !formula.empty(); --edit) {
                const size_t at = random() % formula.size();
                formula.replace(at, random() % 3, kPieces[random() % std::size(kPieces)]);
            }
            formula = formula.substr(0, kFormulaSlotSize - 1);
        }
        Scene scene(1 + static_cast<int32_t>(random() % 19), 1 + static_cast<int32_t>(random() % 5),
                    static_cast<uint32_t>(n));
        scene.SetFormulas(formulas);
        native += ExpectEveryExecutorAgrees(scene, formulas[0] + " | " + formulas[1] + " | " + formulas[2] + " | " +
                                                       formulas[3]) != 0;
        if (HasFailure()) return;
    }
    if (Supported() != 0) {
        EXPECT_GT(native, kMutations / 4);
    }
}

// One kernel per compile: frames with other sliders, times and rows keep
// it. Its code is never writable while it is executable.
TEST(NativeExecutor, MakesTheKernelOncePerCompileInReadOnlyMemory) {
    if (Supported() == 0) GTEST_SKIP() << "no native instruction set on this processor";
    Scene scene(33, 8);
    const std::string formulas[kFormulaCount] = {"sin(x*val(0,0,64))+y", "c+val(1,0,9)", "rad(d,m,1)", "a"};
    scene.SetFormulas(formulas);
    scene.Render(kBestExecutor);
    const NativeKernel* kernel = scene.workspace->programs.kernel.get();
    ASSERT_NE(kernel, nullptr);
    for (int32_t frame = 0; frame < 3; ++frame) {
        scene.params.sliderValue[0] = 40 * frame;
        scene.clip.record.time = frame;
        scene.Render(kBestExecutor);
        EXPECT_EQ(scene.workspace->programs.kernel.get(), kernel) << "frame " << frame;
    }

    // The mapping that holds the code: readable and executable, not writable.
    const uintptr_t code = reinterpret_cast<uintptr_t>(NativeKernelCode(kernel));
    std::ifstream maps("/proc/self/maps");
    std::string line, permissions;
    while (std::getline(maps, line)) {
        uintptr_t low = 0, high = 0;
        char mode[8] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %7s", &low, &high, mode) == 3 && low <= code && code < high)
            permissions = mode;
    }
    EXPECT_EQ(permissions.substr(0, 3), "r-x");

    // Other operations, another kernel; one the native code cannot take, none.
    const std::string others[kFormulaCount] = {"cos(x)", "c", "rad(d,m,1)", "a"};
    scene.SetFormulas(others);
    scene.Render(kBestExecutor);
    EXPECT_NE(scene.workspace->programs.plan.native, kNoNativeIsa);
    const std::string order[kFormulaCount] = {"c+scl(c,0,x,0,9)", "c", "c", "a"};
    scene.SetFormulas(order);
    scene.Render(kBestExecutor);
    EXPECT_EQ(scene.workspace->programs.plan.native, kNoNativeIsa);
    EXPECT_EQ(scene.workspace->programs.kernel.get(), nullptr);
}

}  // namespace
