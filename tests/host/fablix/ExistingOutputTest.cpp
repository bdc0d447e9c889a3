// An existing output is never replaced unless -y says so, and the refusal
// comes before any work: nothing is written, the file stays as it was.
#include "ClipWriter.h"
#include "MediaResult.h"
#include "Png.h"
#include "ToolTestSupport.h"

namespace {

// in.png (a picture), in.mkv (a clip of 3 frames), notes.png (text).
void WriteInputs(const ScratchFolder& folder) {
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), NumberedFrame(4, 3, 0), message), kMediaOk) << message;
    ClipWriter writer;
    ASSERT_EQ(OpenClipWriter(writer, (folder / "in.mkv").c_str(), 4, 2, 10, 1, message), kMediaOk) << message;
    for (int32_t i = 0; i < 3; ++i) ASSERT_EQ(WriteClipFrame(writer, NumberedFrame(4, 2, i), message), kMediaOk);
    ASSERT_EQ(FinishClipWriter(writer, message), kMediaOk) << message;
    folder.WriteFile("notes.png", "my notes");
}

struct ExistingCase {
    const char* name;
    std::vector<std::string> arguments;  // after "render --quiet"
    std::string message;                 // the whole of standard error
};

void PrintTo(const ExistingCase& c, std::ostream* out) { *out << c.name; }

class ExistingOutput : public testing::TestWithParam<ExistingCase> {};

TEST_P(ExistingOutput, IsKeptWithExitCode2AndAMessageNamingIt) {
    ScratchFolder folder;
    WriteInputs(folder);
    std::filesystem::create_directory(folder.path() / "seq");
    folder.WriteFile("seq/f02.png", "frame two");
    const std::vector<std::string> before = folder.Names();
    const std::string png = ReadWholeFile(folder / "in.png"), clip = ReadWholeFile(folder / "in.mkv");
    const ToolRun run = RunTool(Joined({"render", "--quiet"}, GetParam().arguments), folder);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, GetParam().message);
    EXPECT_EQ(folder.Names(), before);
    EXPECT_EQ(ReadWholeFile(folder / "in.png"), png);
    EXPECT_EQ(ReadWholeFile(folder / "in.mkv"), clip);
    EXPECT_EQ(ReadWholeFile(folder / "notes.png"), "my notes");
    EXPECT_EQ(ReadWholeFile(folder / "seq/f02.png"), "frame two");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExistingOutput,
    testing::Values(
        ExistingCase{"LonePicture",
                     {"in.png"},
                     "fablix: 'in.png' exists and reads as a picture: if it is meant as the INPUT, an OUTPUT is "
                     "missing (render [INPUT] OUTPUT); give -y (--overwrite) to replace it\n"},
        ExistingCase{"LoneClip",
                     {"in.mkv"},
                     "fablix: 'in.mkv' exists and reads as a clip: if it is meant as the INPUT, an OUTPUT is "
                     "missing (render [INPUT] OUTPUT); give -y (--overwrite) to replace it\n"},
        ExistingCase{"LoneOtherFile",
                     {"notes.png"},
                     "fablix: 'notes.png' exists; give -y (--overwrite) to replace it, or choose another name\n"},
        ExistingCase{"StillOutput",
                     {"in.mkv", "notes.png"},
                     "fablix: 'notes.png' exists; give -y (--overwrite) to replace it, or choose another name\n"},
        ExistingCase{"ClipOutput",
                     {"in.png", "--total", "2", "in.mkv"},
                     "fablix: 'in.mkv' exists; give -y (--overwrite) to replace it, or choose another name\n"},
        ExistingCase{"NoOverwriteGiven",
                     {"-y", "-n", "in.mkv", "in.png"},
                     "fablix: 'in.png' exists; give -y (--overwrite) to replace it, or choose another name\n"},
        ExistingCase{"AFrameOfAPattern",
                     {"in.mkv", "seq/f%02d.png"},
                     "fablix: 'seq/f02.png' exists (a frame of 'seq/f%02d.png'); give -y (--overwrite) to replace "
                     "the frames, or choose another name\n"}),
    [](const testing::TestParamInfo<ExistingCase>& info) { return std::string(info.param.name); });

TEST(ExistingOutput, IsReplacedWithOverwrite) {
    for (const char* option : {"-y", "--overwrite"}) {
        ScratchFolder folder;
        WriteInputs(folder);
        const ToolRun run = RunTool({"render", option, "-r", "255", "in.png", "notes.png"}, folder);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        Frame out;
        std::string message;
        ASSERT_EQ(ReadPng((folder / "notes.png").c_str(), out, message), kMediaOk) << message;
        EXPECT_EQ(PixelAt(out, 1, 1)[2], 255);
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.mkv", "in.png", "notes.png"}));
    }
}

TEST(ExistingOutput, OfAPatternOnlyCountsTheFramesWritten) {
    ScratchFolder folder;
    WriteInputs(folder);
    // Frames 3 on, and names that only look alike, are not written by a render of 3 frames.
    for (const char* name : {"f03.png", "f2.png", "f002.png", "g01.png"}) folder.WriteFile(name, "mine");
    const ToolRun run = RunTool({"render", "--quiet", "in.mkv", "f%02d.png"}, folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* name : {"f03.png", "f2.png", "f002.png", "g01.png"})
        EXPECT_EQ(ReadWholeFile(folder / name), "mine");
    for (const char* name : {"f00.png", "f01.png", "f02.png"})
        EXPECT_TRUE(HasPngSignature((folder / name).c_str())) << name;
}

}  // namespace
