// fablix render with a still output: the pixels of a small hand-made PNG
// under simple formulas, and the options that change them.
#include "BuiltInMedia.h"
#include "MediaResult.h"
#include "Png.h"
#include "ToolTestSupport.h"

namespace {

// A 3 x 2 picture whose every byte differs.
Frame SmallPicture() {
    Frame frame;
    MakeFrame(frame, 3, 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            SetPixelAt(frame, x, y, Bgra{10 + x + 3 * y, 40 + x + 3 * y, 70 + x + 3 * y, 100 + x + 3 * y});
    return frame;
}

// Writes SmallPicture as in.png, renders it with `arguments`, and reads the
// output back.
Frame RenderSmall(const std::vector<std::string>& arguments, ToolRun* run = nullptr) {
    ScratchFolder folder;
    std::string message;
    EXPECT_EQ(WritePng((folder / "in.png").c_str(), SmallPicture(), message), kMediaOk) << message;
    const ToolRun done = RunTool(Joined(Joined({"render"}, arguments), {"in.png", "out.png"}), folder);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    if (run) *run = done;
    Frame out;
    EXPECT_EQ(ReadPng((folder / "out.png").c_str(), out, message), kMediaOk) << message;
    return out;
}

// Every pixel of `frame` made from the source pixel by `expected`.
template <typename Expected>
void ExpectPixels(const Frame& frame, Expected expected) {
    ASSERT_EQ(frame.width, 3);
    ASSERT_EQ(frame.height, 2);
    const Frame source = SmallPicture();
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(PixelAt(frame, x, y), expected(PixelAt(source, x, y), x)) << x << "," << y;
}

TEST(StillRender, RedAt255KeepsTheOtherChannels) {
    const Frame out = RenderSmall({"-b", "b", "-g", "g", "-r", "255", "-a", "a"});
    ExpectPixels(out, [](Bgra s, int32_t) { return Bgra{s[0], s[1], 255, s[3]}; });
}

TEST(StillRender, PlainStartsFromThePicture) {
    ExpectPixels(RenderSmall({"--plain"}), [](Bgra s, int32_t) { return s; });
    ExpectPixels(RenderSmall({"--plain", "-r", "255"}), [](Bgra s, int32_t) { return Bgra{s[0], s[1], 255, s[3]}; });
}

TEST(StillRender, ClampsEachChannelTo0Through255) {
    const Frame out = RenderSmall({"-b", "0-5", "-g", "300", "-r", "128", "-a", "x"});
    ExpectPixels(out, [](Bgra, int32_t x) { return Bgra{0, 255, 128, x}; });
}

TEST(StillRender, SliderFeedsItsValue) {
    const Frame out = RenderSmall({"-b", "ctl(3)", "-g", "ctl(0)", "-r", "r", "-a", "a", "--slider", "3=77"});
    // Slider 0 keeps the default block's 21.
    ExpectPixels(out, [](Bgra s, int32_t) { return Bgra{77, 21, s[2], s[3]}; });
}

TEST(StillRender, SingleRunsFormulaAIntoEveryChannel) {
    const Frame out = RenderSmall({"-b", "1", "-g", "2", "-r", "3", "-a", "x*100", "--single"});
    ExpectPixels(out, [](Bgra, int32_t x) {
        const int v = x * 100;
        return Bgra{v, v, v, v};
    });
}

TEST(StillRender, TimeAndTotalReachTAndCapitalT) {
    ExpectPixels(RenderSmall({"-b", "t", "-g", "T", "-r", "t+10", "-a", "a", "--time", "7", "--total", "9"}),
                 [](Bgra s, int32_t) {
                     return Bgra{7, 9, 17, s[3]};
                 });
    // A still is frame 0 of a clip of one frame unless told otherwise.
    ExpectPixels(RenderSmall({"-b", "t", "-g", "T", "-r", "t+10", "-a", "a"}), [](Bgra s, int32_t) {
        return Bgra{0, 0, 10, s[3]};
    });
    ExpectPixels(RenderSmall({"-b", "t+5", "-g", "g", "-r", "r", "-a", "a", "--time", "-3"}), [](Bgra s, int32_t) {
        return Bgra{2, s[1], s[2], s[3]};
    });
}

// The plug-in renders a failed formula's channel as 0; the tool says so and
// goes on only when asked to.
TEST(StillRender, ACompileFailureRendersZeroWhenAllowed) {
    for (const char* option : {"--allow-failing", "--keep-going"}) {
        ToolRun run;
        const Frame out = RenderSmall({"-b", "b", "-g", "g", "-r", "1+", "-a", "a", option}, &run);
        ExpectPixels(out, [](Bgra s, int32_t) { return Bgra{s[0], s[1], 0, s[3]}; });
        EXPECT_EQ(run.err,
                  "warning: formula 2 (channel R), characters 2..2: formula ends too early: an operand "
                  "is missing after '+'\n    1+\n      ^\n"
                  "fablix: warning: rendering 'out.png' with formulas that do not compile: their channels render "
                  "as 0\n")
            << option;
    }
}

TEST(StillRender, ACompileFailureIsRefusedWithTheCompileReport) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), SmallPicture(), message), kMediaOk) << message;
    const std::vector<std::string> block = {"-b", "b", "-g", "min(g)", "-r", "1+", "-a", "a"};
    const ToolRun compile = RunTool(Joined({"compile"}, block), folder);
    ASSERT_EQ(compile.exitCode, 1);
    ASSERT_NE(compile.out, "");
    for (const char* output : {"out.png", "out.mkv", "f%03d.png"}) {
        const ToolRun run = RunTool(Joined(Joined({"render"}, block), {"in.png", output}), folder);
        EXPECT_EQ(run.exitCode, 1) << output;
        EXPECT_EQ(run.out, "") << output;
        EXPECT_EQ(run.err, compile.out + "fablix: cannot render '" + output +
                               "': a formula does not compile (above), and its channel would render as 0; fix it, "
                               "or give --allow-failing to render it anyway\n")
            << output;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.png"}) << output;
    }
}

TEST(StillRender, WithoutInputUsesTheBuiltInImage) {
    ScratchFolder folder;
    const ToolRun run = RunTool(Joined(Joined({"render"}, IdentityFormulas()), {"out.png"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Frame out, expected;
    std::string message;
    ASSERT_EQ(ReadPng((folder / "out.png").c_str(), out, message), kMediaOk) << message;
    MakeTestImage(expected);
    EXPECT_EQ(out.width, kTestImageWidth);
    EXPECT_EQ(out.height, kTestImageHeight);
    EXPECT_TRUE(out.pixels == expected.pixels);
}

struct FailureCase {
    const char* name;
    std::vector<std::string> arguments;  // after "render"
    int exitCode;
    std::string message;  // the whole of standard error
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class StillRenderFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(StillRenderFailure, SaysWhatWentWrongAndLeavesNothing) {
    ScratchFolder folder;
    folder.WriteFile("text.png", "not a picture");
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), SmallPicture(), message), kMediaOk);
    const std::vector<std::string> before = folder.Names();
    const ToolRun run = RunTool(Joined({"render"}, GetParam().arguments), folder);
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(run.err, GetParam().message);
    EXPECT_EQ(folder.Names(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StillRenderFailure,
    testing::Values(
        FailureCase{
            "MissingInput", {"none.png", "out.png"}, 1, "fablix: cannot open 'none.png': No such file or directory\n"},
        FailureCase{"InputNotAPng", {"text.png", "out.png"}, 1, "fablix: 'text.png' is not a PNG file\n"},
        FailureCase{"OutputFolderMissing",
                    {"in.png", "none/out.png"},
                    1,
                    "fablix: cannot write 'none/out.png': folder 'none' does not exist\n"},
        FailureCase{"NoOutput", {}, 2, "fablix: render wants [INPUT] OUTPUT\n"},
        FailureCase{"ThreePaths", {"a.png", "b.png", "c.png"}, 2, "fablix: render wants [INPUT] OUTPUT\n"},
        FailureCase{"FramesForAStill",
                    {"--frames", "0:1", "in.png", "out.png"},
                    2,
                    "fablix: --frames is for a clip output; a still output takes one frame (see --time)\n"},
        FailureCase{"TimeNotANumber",
                    {"--time", "soon", "in.png", "out.png"},
                    2,
                    "fablix: --time wants a whole number: 'soon'\n"},
        FailureCase{"TimeOutOfRange",
                    {"--time", "2147483648", "in.png", "out.png"},
                    2,
                    "fablix: --time 2147483648 is out of range: it wants a whole number from -2147483648 to "
                    "2147483647\n"},
        FailureCase{"TotalOutOfRange",
                    {"--total", "-99999999999", "in.png", "out.png"},
                    2,
                    "fablix: --total -99999999999 is out of range: it wants a whole number from -2147483648 to "
                    "2147483647\n"},
        FailureCase{"UnknownOption", {"--fast", "in.png", "out.png"}, 2, "fablix: unknown option '--fast'\n"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

}  // namespace
