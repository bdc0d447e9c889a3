// --threads: the output is byte for byte that of one thread, for clips
// (frames rendered at once, with and without "rnd"; PNG frames encoded at
// once) and stills (bands of rows); and fablix bench, which renders without
// files.
#include <fstream>

#include "ClipReader.h"
#include "MediaResult.h"
#include "Png.h"
#include "ToolTestSupport.h"

namespace {

// Every frame of a lossless clip, decoded.
std::vector<std::vector<uint8_t>> Frames(const std::string& path) {
    ClipReader reader;
    std::string message;
    EXPECT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    std::vector<std::vector<uint8_t>> frames;
    Frame frame;
    for (int32_t i = 0; i < reader.frameCount; ++i) {
        EXPECT_EQ(ReadClipFrame(reader, i, frame, message), kMediaOk) << message;
        frames.push_back(frame.pixels);
    }
    CloseClipReader(reader);
    return frames;
}

struct ThreadsCase {
    const char* name;
    std::vector<std::string> formulas;
};

class Threads : public ::testing::TestWithParam<ThreadsCase> {};

TEST_P(Threads, ClipsAndStillsMatchOneThreadByteForByte) {
    ScratchFolder folder;
    std::vector<std::vector<std::vector<uint8_t>>> clips;
    std::vector<std::vector<std::string>> patterns;  // the files' bytes
    std::vector<std::vector<uint8_t>> stills;
    for (const char* threads : {"1", "2", "3"}) {
        const std::string clip = std::string("out") + threads + ".mkv";
        const std::string still = std::string("out") + threads + ".png";
        const std::string prefix = std::string("p") + threads + "-";
        for (const std::string& output : {clip, prefix + "%d.png"}) {
            const std::vector<std::string> render = {"render", "--quiet", "--threads", threads, "--frames", "3:9"};
            const ToolRun run = RunTool(Joined(Joined(render, GetParam().formulas), {output}), folder);
            ASSERT_EQ(run.exitCode, 0) << run.err;
        }
        clips.push_back(Frames(folder / clip));
        patterns.emplace_back();
        for (int32_t i = 0; i < 7; ++i)
            patterns.back().push_back(ReadWholeFile(folder / (prefix + std::to_string(i) + ".png")));
        const ToolRun one =
            RunTool(Joined(Joined({"render", "--threads", threads, "--time", "5"}, GetParam().formulas), {still}),
                    folder);
        ASSERT_EQ(one.exitCode, 0) << one.err;
        Frame frame;
        std::string message;
        ASSERT_EQ(ReadPng((folder / still).c_str(), frame, message), kMediaOk) << message;
        stills.push_back(frame.pixels);
    }
    ASSERT_EQ(clips[0].size(), 7u);
    for (size_t k = 1; k < clips.size(); ++k) {
        EXPECT_EQ(clips[k], clips[0]) << "clip, thread count " << k + 1;
        EXPECT_EQ(patterns[k], patterns[0]) << "PNG pattern, thread count " << k + 1;
        EXPECT_EQ(stills[k], stills[0]) << "still, thread count " << k + 1;
    }
    // Both lossless: a PNG frame holds the pixels of the clip's frame.
    Frame frame;
    std::string message;
    ASSERT_EQ(ReadPng((folder / "p1-6.png").c_str(), frame, message), kMediaOk) << message;
    EXPECT_EQ(frame.pixels, clips[0][6]);
    // Successive frames differ, so a frame out of place would show.
    EXPECT_NE(clips[0][0], clips[0][1]);
}

INSTANTIATE_TEST_SUITE_P(Cases, Threads,
                         ::testing::Values(ThreadsCase{"DefaultBlock", {"-a", "x+t*9"}},
                                           ThreadsCase{"Random", {"-b", "rnd(0,255)", "-g", "c+rnd(0-t,t)"}},
                                           ThreadsCase{"Cells", {"-r", "put(get(1)+r,1)&255", "-a", "y*t"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Bench, PrintsTimesForTheBlockWithoutFiles) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"bench", "--size", "64x32", "--frames", "3", "--threads", "2", "--json"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_PRED2(Holds, run.out, "{\"width\": 64, \"height\": 32, \"frames\": 3, \"threads\": 2, \"executor\": \"");
    EXPECT_PRED2(Holds, run.out, "\"msPerFrame\": ");
    const ToolRun plain =
        RunTool({"bench", "--size", "8x8", "--frames", "1", "--threads", "1", "-b", "get(0)"}, folder);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_PRED2(Holds, plain.out, "8x8, 1 frames, 1 thread, interpreter: ");
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(Bench, RefusesBadValues) {
    ScratchFolder folder;
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"bench", "--size", "0x5"}, "--size wants WxH"},
        {{"bench", "--size", "12"}, "--size wants WxH"},
        {{"bench", "--frames", "0"}, "--frames wants a whole number from 1"},
        {{"bench", "--threads", "0"}, "--threads wants a whole number from 1 to 256"},
        {{"render", "--threads", "x", "out.png"}, "--threads wants a whole number from 1 to 256"},
        {{"bench", "out.png"}, "bench takes no files"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(c.arguments, folder);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        EXPECT_PRED2(Holds, run.err, c.message);
    }
}

}  // namespace
