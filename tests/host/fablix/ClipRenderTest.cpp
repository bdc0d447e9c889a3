// fablix render with clips: frames through a lossless output, the frame
// range, the built-in clip, progress, the source-frame callback, and
// nothing left behind when a render fails or is interrupted.
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "BuiltInMedia.h"
#include "ClipReader.h"
#include "ClipWriter.h"
#include "MediaResult.h"
#include "BlockOptions.h"
#include "Channels.h"
#include "ExitCodes.h"
#include "Png.h"
#include "Renderer.h"
#include "ToolTestSupport.h"

namespace {

constexpr int32_t kWidth = 5, kHeight = 3, kFrames = 4;

// in.mkv: kFrames numbered frames at 10 fps.
void WriteInputClip(const ScratchFolder& folder) {
    ClipWriter writer;
    std::string message;
    ASSERT_EQ(OpenClipWriter(writer, (folder / "in.mkv").c_str(), kWidth, kHeight, 10, 1, message), kMediaOk)
        << message;
    for (int32_t i = 0; i < kFrames; ++i)
        ASSERT_EQ(WriteClipFrame(writer, NumberedFrame(kWidth, kHeight, i), message), kMediaOk) << message;
    ASSERT_EQ(FinishClipWriter(writer, message), kMediaOk) << message;
}

// Every frame of the clip at `path`; its size and rate into `info`.
std::vector<Frame> ReadClip(const std::string& path, ClipReader* info = nullptr) {
    ClipReader reader;
    std::string message;
    EXPECT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    std::vector<Frame> frames(size_t(reader.frameCount));
    for (int32_t i = 0; i < reader.frameCount; ++i)
        EXPECT_EQ(ReadClipFrame(reader, i, frames[size_t(i)], message), kMediaOk) << message;
    if (info) {
        info->width = reader.width;
        info->height = reader.height;
        info->frameCount = reader.frameCount;
        info->rateNumerator = reader.rateNumerator;
        info->rateDenominator = reader.rateDenominator;
    }
    CloseClipReader(reader);
    return frames;
}

// Blue and green from source frame `index`, red the frame's time, alpha the
// clip's total: what the formulas below make.
const std::vector<std::string> kTimeFormulas = {"-b", "b", "-g", "g", "-r", "t", "-a", "T"};

void ExpectTimedFrame(const Frame& frame, int32_t index, int32_t total) {
    ASSERT_EQ(frame.width, kWidth);
    ASSERT_EQ(frame.height, kHeight);
    const Frame source = NumberedFrame(kWidth, kHeight, index);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const Bgra s = PixelAt(source, x, y);
            EXPECT_EQ(PixelAt(frame, x, y), (Bgra{s[0], s[1], index, total})) << index << ": " << x << "," << y;
        }
}

TEST(ClipRender, MkvRoundTripKeepsFramesRateAndFilteredPixels) {
    ScratchFolder folder;
    WriteInputClip(folder);
    const ToolRun run = RunTool(Joined(Joined({"render", "--quiet"}, kTimeFormulas), {"in.mkv", "out.mkv"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ClipReader info;
    const std::vector<Frame> frames = ReadClip(folder / "out.mkv", &info);
    ASSERT_EQ(frames.size(), size_t(kFrames));
    EXPECT_EQ(info.rateNumerator, 10);
    EXPECT_EQ(info.rateDenominator, 1);
    for (int32_t i = 0; i < kFrames; ++i) ExpectTimedFrame(frames[size_t(i)], i, kFrames - 1);
}

TEST(ClipRender, PngPatternGetsOneFilePerFrame) {
    ScratchFolder folder;
    WriteInputClip(folder);
    std::filesystem::create_directory(folder.path() / "seq");
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--quiet"}, kTimeFormulas), {"in.mkv", "seq/f%03d.png"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "seq"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"f000.png", "f001.png", "f002.png", "f003.png"}));
    for (int32_t i = 0; i < kFrames && i < int32_t(names.size()); ++i) {
        Frame frame;
        std::string message;
        ASSERT_EQ(ReadPng((folder.path() / "seq" / names[size_t(i)]).c_str(), frame, message), kMediaOk);
        ExpectTimedFrame(frame, i, kFrames - 1);
    }
}

TEST(ClipRender, WideFrameNumbersGiveEveryFrameItsOwnFile) {
    ScratchFolder folder;
    WriteInputClip(folder);
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--quiet", "--frames", "1:3"}, kTimeFormulas), {"in.mkv", "b%020d.png"}),
                folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"b00000000000000000000.png", "b00000000000000000001.png",
                                                        "b00000000000000000002.png", "in.mkv"}));
    for (int32_t i = 0; i < 3; ++i) {
        Frame frame;
        std::string message;
        ASSERT_EQ(ReadPng((folder / ("b0000000000000000000" + std::to_string(i) + ".png")).c_str(), frame, message),
                  kMediaOk);
        ExpectTimedFrame(frame, i + 1, kFrames - 1);
    }
}

TEST(ClipRender, FramesRendersTheRangeAtTheClipsOwnTimes) {
    ScratchFolder folder;
    WriteInputClip(folder);
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--quiet", "--frames", "1:2"}, kTimeFormulas), {"in.mkv", "out.mkv"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<Frame> frames = ReadClip(folder / "out.mkv");
    ASSERT_EQ(frames.size(), 2u);
    ExpectTimedFrame(frames[0], 1, kFrames - 1);
    ExpectTimedFrame(frames[1], 2, kFrames - 1);
}

TEST(ClipRender, StillOutputOfAClipTakesTheFrameAtTime) {
    ScratchFolder folder;
    WriteInputClip(folder);
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--time", "2"}, kTimeFormulas), {"in.mkv", "two.png"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Frame frame;
    std::string message;
    ASSERT_EQ(ReadPng((folder / "two.png").c_str(), frame, message), kMediaOk) << message;
    ExpectTimedFrame(frame, 2, kFrames - 1);
}

TEST(ClipRender, AStillWithTotalBecomesAClipOfTotalPlusOneFrames) {
    ScratchFolder folder;
    Frame still = NumberedFrame(kWidth, kHeight, 0);
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), still, message), kMediaOk);
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--quiet", "--total", "2"}, kTimeFormulas), {"in.png", "out.mkv"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<Frame> frames = ReadClip(folder / "out.mkv");
    ASSERT_EQ(frames.size(), 3u);
    for (int32_t i = 0; i < 3; ++i) {
        const Bgra s = PixelAt(still, 4, 2);
        EXPECT_EQ(PixelAt(frames[size_t(i)], 4, 2), (Bgra{s[0], s[1], i, 2})) << i;
    }
}

TEST(ClipRender, WithoutInputRendersTheBuiltInClip) {
    ScratchFolder folder;
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--quiet", "--frames", "46:47"}, IdentityFormulas()), {"out.mkv"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ClipReader info;
    const std::vector<Frame> frames = ReadClip(folder / "out.mkv", &info);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(info.width, kTestClipWidth);
    EXPECT_EQ(info.height, kTestClipHeight);
    EXPECT_EQ(info.rateNumerator, kTestClipRate);
    EXPECT_EQ(info.rateDenominator, 1);
    for (int32_t i = 0; i < 2; ++i) {
        Frame expected;
        MakeTestClipFrame(46 + i, expected);
        EXPECT_TRUE(frames[size_t(i)].pixels == expected.pixels) << i;
    }
}

TEST(ClipRender, TheBuiltInClipRunsTTo47) {
    ScratchFolder folder;
    const ToolRun run =
        RunTool({"render", "--quiet", "--frames", "47", "-b", "t", "-g", "T", "-r", "0", "-a", "255", "last.mkv"},
                folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<Frame> frames = ReadClip(folder / "last.mkv");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(PixelAt(frames[0], 0, 0), (Bgra{47, 47, 0, 255}));
}

TEST(ClipProgress, IsPlainLinesWhenNotATerminalAndNothingWhenQuiet) {
    ScratchFolder folder;
    WriteInputClip(folder);
    const ToolRun run = RunTool(Joined({"render"}, {"in.mkv", "out.mkv"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = run.err.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(run.err.substr(start, end - start));
    ASSERT_EQ(lines.size(), 5u) << run.err;
    const char* counts[] = {"1/4 frames (25%), ", "2/4 frames (50%), ", "3/4 frames (75%), ", "4/4 frames (100%), "};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].rfind(counts[i], 0), 0u) << lines[i];
        EXPECT_PRED2(Holds, lines[i], " fps, ");
        EXPECT_PRED2(Holds, lines[i], " left");
    }
    EXPECT_EQ(lines[4].rfind("4 frames in 0:", 0), 0u) << lines[4];
    EXPECT_EQ(run.err.find('\r'), std::string::npos);

    const ToolRun quiet = RunTool({"render", "--quiet", "in.mkv", "quiet.mkv"}, folder);
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
}

// Runs fablix in `folder` with standard error on a terminal; returns what
// the terminal showed.
std::string RunOnTerminal(const std::vector<std::string>& arguments, const ScratchFolder& folder, int* exitCode) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (chdir(folder.path().c_str()) != 0) _exit(120);
        std::vector<char*> argv{const_cast<char*>(FABLIX_PATH)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(FABLIX_PATH, argv.data());
        _exit(121);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, size_t(n));
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return shown;
}

TEST(ClipProgress, IsABarRedrawnInPlaceOnATerminal) {
    ScratchFolder folder;
    WriteInputClip(folder);
    int exitCode = -1;
    const std::string shown = RunOnTerminal({"render", "in.mkv", "out.mkv"}, folder, &exitCode);
    EXPECT_EQ(exitCode, 0) << shown;
    EXPECT_PRED2(Holds, shown, "\r[##############################] 4/4  ");
    EXPECT_PRED2(Holds, shown, " fps  0:00 left");
    EXPECT_PRED2(Holds, shown, "\r4 frames in 0:");
    EXPECT_EQ(shown.find("frames (25%)"), std::string::npos) << shown;
}

struct ClipFailureCase {
    const char* name;
    std::vector<std::string> arguments;  // after "render"
    int exitCode;
    std::string message;  // the whole of standard error
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ClipFailureCase& c, std::ostream* out) { *out << c.name; }

class ClipRenderFailure : public testing::TestWithParam<ClipFailureCase> {};

TEST_P(ClipRenderFailure, SaysWhatWentWrongAndLeavesNothing) {
    ScratchFolder folder;
    WriteInputClip(folder);
    folder.WriteFile("junk.mp4", std::string(2000, 'j'));
    std::filesystem::create_directory(folder.path() / "seq");
    ASSERT_EQ(mkfifo((folder / "pipe.mkv").c_str(), 0600), 0);  // nobody writes it
    const std::vector<std::string> before = folder.Names();
    const ToolRun run = RunTool(Joined({"render"}, GetParam().arguments), folder);
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(run.err, GetParam().message);
    EXPECT_EQ(folder.Names(), before);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path() / "seq"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipRenderFailure,
    testing::Values(
        ClipFailureCase{"RangeBackwards",
                        {"--frames", "2:1", "in.mkv", "out.mkv"},
                        2,
                        "fablix: --frames wants A:B with whole numbers 0 <= A <= B (or A:, :B, N): '2:1'\n"},
        ClipFailureCase{"RangeNotNumbers",
                        {"--frames", "a:b", "in.mkv", "out.mkv"},
                        2,
                        "fablix: --frames wants A:B with whole numbers 0 <= A <= B (or A:, :B, N): 'a:b'\n"},
        ClipFailureCase{"RangeNegative",
                        {"--frames", "-1:2", "in.mkv", "out.mkv"},
                        2,
                        "fablix: --frames wants A:B with whole numbers 0 <= A <= B (or A:, :B, N): '-1:2'\n"},
        ClipFailureCase{"RangePastTheEnd",
                        {"--frames", "2:4", "in.mkv", "seq/f%02d.png"},
                        2,
                        "fablix: --frames 2:4 reaches past the last frame; the clip has frames 0 to 3\n"},
        ClipFailureCase{"RangeStartsPastTheEnd",
                        {"--frames", "9:", "in.mkv", "out.mkv"},
                        2,
                        "fablix: --frames 9: reaches past the last frame; the clip has frames 0 to 3\n"},
        ClipFailureCase{"RangeWithoutValue", {"in.mkv", "out.mkv", "--frames"}, 2, "fablix: --frames wants a value\n"},
        ClipFailureCase{
            "TimeForAClip",
            {"--time", "1", "in.mkv", "out.mkv"},
            2,
            "fablix: --time is for a still output; a clip renders each frame at its index (see --frames)\n"},
        ClipFailureCase{"TotalForAClip",
                        {"--total", "9", "in.mkv", "out.mkv"},
                        2,
                        "fablix: --total is for a still input; a clip's total is its last frame index\n"},
        ClipFailureCase{"UnknownKind",
                        {"in.mkv", "out.avi"},
                        2,
                        "fablix: cannot write 'out.avi': unknown kind of output; use .png, .jpg, .webp or .tiff for a "
                        "still image, or .mp4, .mov, .mkv, .webm, .gif, .y4m, .nut or a numbered PNG pattern such "
                        "as frame%04d.png for a clip\n"},
        ClipFailureCase{"FrameNumbersTooWide",
                        {"in.mkv", "seq/e%99999999d.png"},
                        2,
                        "fablix: cannot write 'seq/e%99999999d.png': frame numbers 99999999 digits wide make names "
                        "longer than 255 bytes\n"},
        ClipFailureCase{"TwoFrameNumbers",
                        {"in.mkv", "seq/f%d-%d.png"},
                        2,
                        "fablix: cannot write 'seq/f%d-%d.png': a name holds one frame number (%d) only\n"},
        ClipFailureCase{
            "MissingInput", {"none.mkv", "out.mkv"}, 1, "fablix: cannot open 'none.mkv': No such file or directory\n"},
        ClipFailureCase{"UnreadableInput",
                        {"junk.mp4", "out.mkv"},
                        1,
                        "fablix: 'junk.mp4' is not a video or image that can be read\n"},
        ClipFailureCase{"OutputFolderMissing",
                        {"in.mkv", "none/out.mkv"},
                        1,
                        "fablix: cannot write 'none/out.mkv': folder 'none' does not exist\n"},
        ClipFailureCase{"PatternFolderMissing",
                        {"in.mkv", "none/deeper/f%03d.png"},
                        1,
                        "fablix: cannot write 'none/deeper/f%03d.png': folder 'none/deeper' does not exist\n"},
        ClipFailureCase{"InputIsAPipe",
                        {"pipe.mkv", "out.mkv"},
                        1,
                        "fablix: cannot open 'pipe.mkv': it is a pipe or socket, not a file\n"},
        ClipFailureCase{"InputIsAFolder", {"seq", "out.mkv"}, 1, "fablix: cannot open 'seq': it is a folder\n"},
        ClipFailureCase{"OnePictureOfManyFrames",
                        {"in.mkv", "out.png"},
                        2,
                        "fablix: 'out.png' is one picture, and the clip has 4 frames: give --time T for the frame to "
                        "take, or a numbered name such as frame%04d.png for all of them\n"},
        ClipFailureCase{"TimeOutsideTheClip",
                        {"--time", "4", "in.mkv", "out.png"},
                        2,
                        "fablix: --time 4 is outside the clip (frames 0 to 3)\n"}),
    [](const testing::TestParamInfo<ClipFailureCase>& info) { return std::string(info.param.name); });

TEST(ClipInterrupt, CtrlCStopsTheRenderAndRemovesTheUnfinishedClip) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), NumberedFrame(64, 64, 0), message), kMediaOk);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.path().c_str()) != 0) _exit(120);
        freopen("/dev/null", "w", stderr);
        execl(FABLIX_PATH, FABLIX_PATH, "render", "--total", "2000000000", "in.png", "out.mkv", nullptr);
        _exit(121);
    }
    // Wait for the clip's temporary file: the render is under way.
    bool started = false;
    for (int tries = 0; tries < 600 && !started; ++tries) {
        started = folder.Names().size() > 1;
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(started);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitInterrupted);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.png"});
}

// In-process: the renderer asks for source frames through the record's
// callback, only when the time differs from the instance's.
class SourceCallback : public testing::Test {
protected:
    void SetUp() override {
        WriteInputClip(folder);
        std::string message;
        ASSERT_EQ(OpenClipSource(source, (folder / "in.mkv").c_str(), message), kMediaOk) << message;
        auto params = std::make_unique<FilterParams>();
        ASSERT_EQ(LoadDefaultBlock(params.get()), kBlockOk);
        for (int32_t i = 0; i < kFormulaCount; ++i)
            SetFormula(params.get(), i, kTimeFormulas[size_t(2 * i + 1)], "test");
        StartRenderer(renderer, *params, 1);
        MakeFrame(destination, kWidth, kHeight);
    }
    void TearDown() override { CloseClipSource(source); }

    ScratchFolder folder;
    ClipSource source;
    Renderer renderer;
    Frame destination;
};

TEST_F(SourceCallback, LoadsEachNewTimeOnceAndNeverTheSameTimeTwice) {
    EXPECT_EQ(source.loads, 1);  // opening shows frame 0
    const int32_t times[] = {0, 1, 2, 2, 0, 3};
    const int32_t loadsAfter[] = {1, 2, 3, 3, 4, 5};
    for (size_t k = 0; k < 6; ++k) {
        ASSERT_EQ(RenderClipFrame(renderer, source, destination, times[k], kFrames - 1, nullptr), kMediaOk);
        EXPECT_EQ(source.loads, loadsAfter[k]) << "after time " << times[k];
        EXPECT_EQ(source.shown, times[k]);
        EXPECT_EQ(renderer.workers[0].state->time, times[k]);
        ExpectTimedFrame(destination, times[k], kFrames - 1);
    }
}

TEST_F(SourceCallback, AFrameThatCannotLoadIsReported) {
    EXPECT_EQ(RenderClipFrame(renderer, source, destination, kFrames, kFrames - 1, nullptr), kMediaBadArgument);
    EXPECT_PRED2(Holds, source.message, "frame 4 is outside ");
}

TEST_F(SourceCallback, AProbeThatReportsInputInterrupts) {
    EXPECT_EQ(RenderClipFrame(renderer, source, destination, 1, kFrames - 1, [] { return true; }), kMediaInterrupted);
}

}  // namespace
