// Clips that are not what their headers say: frames that change size, and
// clips cut short. Both are said on standard error; a render that asked
// (--frames) for frames that are not there fails.
#include "ClipReader.h"
#include "ClipWriter.h"
#include "MediaResult.h"
#include "Png.h"
#include "ToolTestSupport.h"

namespace {

// `name`: `frames` numbered frames of 64 x 48 at 24 fps, then cut to
// `keepPercent` of its bytes.
void WriteCutClip(const ScratchFolder& folder, const std::string& name, int32_t frames, size_t keepPercent) {
    ClipWriter writer;
    std::string message;
    ASSERT_EQ(OpenClipWriter(writer, (folder / name).c_str(), 64, 48, 24, 1, message), kMediaOk) << message;
    for (int32_t i = 0; i < frames; ++i)
        ASSERT_EQ(WriteClipFrame(writer, NumberedFrame(64, 48, i), message), kMediaOk) << message;
    ASSERT_EQ(FinishClipWriter(writer, message), kMediaOk) << message;
    const std::string whole = ReadWholeFile(folder / name);
    folder.WriteFile(name, whole.substr(0, whole.size() * keepPercent / 100));
}

int32_t FramesIn(const std::string& path) {
    ClipReader reader;
    std::string message;
    EXPECT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    const int32_t count = reader.frameCount;
    CloseClipReader(reader);
    return count;
}

// The number in `text` right after `before`, or -1.
int32_t NumberAfter(const std::string& text, const std::string& before) {
    const size_t at = text.find(before);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + before.size());
}

TEST(DamagedClip, WhoseFramesChangeSizeSaysSoOnceWithTheFrame) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.path() / "seq");
    std::string message;
    const Frame sizes[] = {NumberedFrame(5, 3, 0), NumberedFrame(5, 3, 1), NumberedFrame(7, 4, 2),
                           NumberedFrame(5, 3, 3), NumberedFrame(9, 2, 4)};
    for (int32_t i = 0; i < 5; ++i)
        ASSERT_EQ(WritePng((folder / ("seq/f00" + std::to_string(i) + ".png")).c_str(), sizes[i], message), kMediaOk);
    const ToolRun run = RunTool({"render", "--quiet", "seq/f%03d.png", "out.mkv"}, folder);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err,
              "fablix: warning: frame 2 of 'seq/f%03d.png' is 7 x 4, not 5 x 3 like frame 0; frames of another "
              "size are scaled to 5 x 3\n");
    EXPECT_EQ(FramesIn(folder / "out.mkv"), 5);
}

TEST(DamagedClip, CutShortByItsDurationIsTakenAsTheFramesItHolds) {
    ScratchFolder folder;
    WriteCutClip(folder, "cut.mkv", 40, 50);
    const ToolRun run = RunTool({"render", "--quiet", "cut.mkv", "out.mkv"}, folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const int32_t held = NumberAfter(run.err, "but only ");
    EXPECT_GT(held, 0);
    EXPECT_LT(held, 40);
    EXPECT_EQ(run.err, "fablix: warning: 'cut.mkv' declares 40 frames, but only " + std::to_string(held) +
                           " can be read; it is taken as frames 0 to " + std::to_string(held - 1) + "\n");
    EXPECT_EQ(FramesIn(folder / "out.mkv"), held);

    const ToolRun asked = RunTool({"render", "--quiet", "--frames", "0:39", "cut.mkv", "all.mkv"}, folder);
    EXPECT_EQ(asked.exitCode, 2);
    EXPECT_PRED2(Holds, asked.err, "fablix: --frames 0:39 reaches past the last frame; the clip has frames 0 to ");
    EXPECT_FALSE(std::filesystem::exists(folder / "all.mkv"));
}

TEST(DamagedClip, CutShortOfTheCountItDeclaresGivesWhatItHasOrFailsForFramesAskedFor) {
    ScratchFolder folder;
    WriteCutClip(folder, "cut.mp4", 48, 70);
    const ToolRun run = RunTool({"render", "--quiet", "cut.mp4", "out.mkv"}, folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const int32_t held = NumberAfter(run.err, "but only ");
    EXPECT_GT(held, 0);
    EXPECT_LT(held, 48);
    EXPECT_EQ(run.err, "fablix: warning: 'cut.mp4' declares 48 frames, but only " + std::to_string(held) +
                           " can be decoded; the output holds frames 0 to " + std::to_string(held - 1) + "\n");
    EXPECT_EQ(FramesIn(folder / "out.mkv"), held);

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--frames", "0:47", "cut.mp4", "all.mkv"},
          std::vector<std::string>{"--time", "47", "cut.mp4", "all.png"}}) {
        const ToolRun asked = RunTool(Joined({"render", "--quiet"}, arguments), folder);
        EXPECT_EQ(asked.exitCode, 1);
        EXPECT_EQ(asked.err,
                  "fablix: 'cut.mp4' declares 48 frames, but only " + std::to_string(held) + " can be decoded\n");
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"cut.mp4", "out.mkv"}));
    }
}

}  // namespace
