// fablix render's encoders and pipes: every encoder option reaches the
// encoder, every kind of output gets its default codec, standard input and
// output carry clips between FFmpeg commands, and a reader that goes away
// is a failure said, not a silent death.
#include <cstdio>

#include "FfmpegTools.h"

namespace {

const std::vector<std::string> kIdentity = IdentityFormulas();

// 1 s of H.264 at 25 fps with sound.
void MakeInput(const ScratchFolder& folder) {
    MakeClip(
        "-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i sine=sample_rate=48000 -t 1 -c:v libx264 "
        "-pix_fmt yuv420p -c:a aac in.mp4",
        folder);
}

struct EncoderCase {
    const char* name;
    std::vector<std::string> options;  // after the formulas
    const char* output;
    std::string stream;   // ffprobe's codec_name,pix_fmt of the video
    const char* setting;  // in x264's settings that it writes into the stream; "" for none
};

void PrintTo(const EncoderCase& c, std::ostream* out) { *out << c.name; }

class EncoderChoice : public testing::TestWithParam<EncoderCase> {};

TEST_P(EncoderChoice, IsHonoured) {
    ScratchFolder folder;
    MakeInput(folder);
    const EncoderCase& c = GetParam();
    const ToolRun run =
        RunTool(Joined(Joined(Joined({"render", "--quiet"}, kIdentity), c.options), {"in.mp4", c.output}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Probe(c.output, "stream=codec_name,pix_fmt", folder, "-select_streams v"),
              std::vector<std::string>{c.stream});
    if (*c.setting != '\0') {
        EXPECT_PRED2(Holds, ReadWholeFile(folder / c.output), c.setting);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, EncoderChoice,
    testing::Values(
        // FFmpeg's own defaults for x264: CRF 23, preset medium (subme=7).
        EncoderCase{"Mp4Default", {}, "out.mp4", "h264,yuv420p", "crf=23.0"},
        EncoderCase{"MovDefault", {}, "out.mov", "h264,yuv420p", "subme=7"},
        EncoderCase{"Crf", {"-crf", "31"}, "out.mp4", "h264,yuv420p", "crf=31.0"},
        EncoderCase{"Preset", {"-preset", "ultrafast"}, "out.mp4", "h264,yuv420p", "subme=0"},
        EncoderCase{"BitRate", {"-b:v", "300k"}, "out.mp4", "h264,yuv420p", "bitrate=300"},
        EncoderCase{"PixelFormat", {"-pix_fmt", "yuv444p"}, "out.mp4", "h264,yuv444p", ""},
        EncoderCase{
            "PassedThrough", {"--encoder-option", "x264-params=keyint=7"}, "out.mp4", "h264,yuv420p", "keyint=7"},
        EncoderCase{"ProRes", {"-c:v", "prores_ks"}, "out.mov", "prores,yuv422p10le", ""},
        EncoderCase{"Ffv1InMov", {"-c:v", "ffv1"}, "out.mov", "ffv1,bgra", ""},
        EncoderCase{"Mkv", {}, "out.mkv", "ffv1,bgra", ""},
        EncoderCase{"Webm", {"--no-audio"}, "out.webm", "vp9,yuv420p", ""},
        EncoderCase{"Y4m", {}, "out.y4m", "rawvideo,yuv420p", ""}, EncoderCase{"Nut", {}, "out.nut", "ffv1,bgra", ""},
        EncoderCase{"Jpeg", {"--time", "3"}, "out.jpg", "mjpeg,yuvj444p", ""},
        EncoderCase{"Webp", {"--time", "3"}, "out.webp", "webp,yuv420p", ""},
        EncoderCase{"Tiff", {"--time", "3"}, "out.tiff", "tiff,rgba", ""}),
    [](const testing::TestParamInfo<EncoderCase>& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    std::vector<std::string> arguments;  // after the formulas
    int exitCode;
    std::string message;  // the whole of standard error
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class EncoderRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(EncoderRefusal, SaysWhyAndLeavesNothing) {
    ScratchFolder folder;
    MakeInput(folder);
    const RefusalCase& c = GetParam();
    const ToolRun run = RunTool(Joined(Joined({"render", "--quiet"}, kIdentity), c.arguments), folder);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.mp4"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncoderRefusal,
    testing::Values(
        RefusalCase{"UnknownEncoder",
                    {"-c:v", "nothing", "in.mp4", "out.mp4"},
                    1,
                    "fablix: cannot write 'out.mp4': this build of FFmpeg has no video encoder 'nothing'\n"},
        RefusalCase{"UnknownPixelFormat",
                    {"-pix_fmt", "yuv999", "in.mp4", "out.mp4"},
                    1,
                    "fablix: cannot write 'out.mp4': no pixel format is called 'yuv999'\n"},
        RefusalCase{"PixelFormatTheEncoderLacks",
                    {"-c:v", "prores_ks", "-pix_fmt", "yuv420p", "in.mp4", "out.mov"},
                    1,
                    "fablix: cannot write 'out.mov': the encoder 'prores_ks' takes no yuv420p; it takes "
                    "yuv422p10le, yuv444p10le, yuva444p10le\n"},
        RefusalCase{"UnknownEncoderOption",
                    {"--encoder-option", "bogus=1", "in.mp4", "out.mp4"},
                    1,
                    "fablix: cannot write 'out.mp4': the encoder 'libx264' has no option 'bogus'\n"},
        RefusalCase{"EncoderOptionWithoutValue",
                    {"--encoder-option", "bogus", "in.mp4", "out.mp4"},
                    2,
                    "fablix: --encoder-option wants KEY=VALUE, an option of the encoder: 'bogus'\n"},
        RefusalCase{"UnknownSoundEncoder",
                    {"-c:a", "nosuch", "in.mp4", "out.mp4"},
                    2,
                    "fablix: -c:a nosuch: this build of FFmpeg has no audio encoder 'nosuch' (copy keeps the sound "
                    "as it is, -an leaves it out)\n"},
        RefusalCase{"VideoEncoderForTheSound",
                    {"-c:a", "libx264", "in.mp4", "out.mp4"},
                    2,
                    "fablix: -c:a libx264: this build of FFmpeg has no audio encoder 'libx264' (copy keeps the sound "
                    "as it is, -an leaves it out)\n"},
        RefusalCase{"SoundTheContainerCannotHold",
                    {"-c:a", "flac", "in.mp4", "out.webm"},
                    1,
                    "fablix: cannot write 'out.webm': the output's container (webm) cannot hold flac sound (-c:a "
                    "flac)\n"},
        RefusalCase{"SoundBitRateWithoutAnEncoder",
                    {"-b:a", "96k", "in.mp4", "out.mp4"},
                    2,
                    "fablix: -b:a is for re-encoded sound: name its encoder with -c:a (aac, libopus, ...)\n"},
        RefusalCase{"FormatForAFile",
                    {"-f", "nut", "in.mp4", "out.mp4"},
                    2,
                    "fablix: -f is for OUTPUT '-' (standard output); the kind of 'out.mp4' follows its extension\n"},
        RefusalCase{"StandardOutputWithoutFormat",
                    {"in.mp4", "-"},
                    2,
                    "fablix: OUTPUT '-' (standard output) wants -f FORMAT, one of y4m, nut, rawvideo, png, matroska\n"},
        RefusalCase{"StandardOutputOfAnUnknownFormat",
                    {"-f", "avi", "in.mp4", "-"},
                    2,
                    "fablix: OUTPUT '-' (standard output) wants -f FORMAT, one of y4m, nut, rawvideo, png, "
                    "matroska: 'avi'\n"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

std::string Fablix() { return ShellWord(FABLIX_PATH); }

std::string IdentityWords() {
    std::string words;
    for (const std::string& word : kIdentity) words += " " + ShellWord(word);
    return words;
}

struct PipeCase {
    const char* name;
    const char* feed;     // a shell command whose standard output is the input
    const char* format;   // -f of fablix's output
    const char* reading;  // ffmpeg's input options for fablix's output
};

void PrintTo(const PipeCase& c, std::ostream* out) { *out << c.name; }

class Pipes : public testing::TestWithParam<PipeCase> {};

// ffmpeg | fablix - -f F - | ffmpeg: every frame goes through, and the
// identity block on a lossless stream gives the very pixels.
TEST_P(Pipes, CarryEveryFrameBetweenFfmpegCommands) {
    ScratchFolder folder;
    MakeClip("-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 12 -c:v ffv1 -pix_fmt bgra in.mkv", folder);
    const PipeCase& c = GetParam();
    bool ok = false;
    const std::string md5 =
        Shell(std::string(c.feed) + " | " + Fablix() + " render --quiet" + IdentityWords() + " - -f " + c.format +
                  " - 2>err | ffmpeg -v error " + c.reading + " -i - -f framemd5 -pix_fmt bgra - | grep -v '^#'",
              folder, &ok);
    EXPECT_EQ(ReadWholeFile(folder / "err"), "");
    const std::string expected =
        Shell("ffmpeg -v error -i in.mkv -f framemd5 -pix_fmt bgra - | grep -v '^#' | cut -d, -f6", folder);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 12);
    std::string sums;
    std::istringstream lines(md5);
    for (std::string line; std::getline(lines, line);) sums += line.substr(line.rfind(',') + 1) + "\n";
    // Every frame, its pixels exact where the pipe is lossless.
    EXPECT_EQ(std::count(sums.begin(), sums.end(), '\n'), 12) << md5;
    if (std::string(c.format) != "y4m") {
        EXPECT_EQ(sums, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Pipes,
    testing::Values(PipeCase{"Y4mToY4m", "ffmpeg -v error -i in.mkv -f yuv4mpegpipe -pix_fmt yuv444p -", "y4m", ""},
                    PipeCase{"NutToNut", "ffmpeg -v error -i in.mkv -c copy -f nut -", "nut", ""},
                    PipeCase{"MkvToMatroska", "cat in.mkv", "matroska", ""},
                    PipeCase{"MkvToRawVideo", "cat in.mkv", "rawvideo", "-f rawvideo -pix_fmt bgra -s 64x48"},
                    PipeCase{"MkvToPngs", "cat in.mkv", "png", "-f png_pipe"}),
    [](const testing::TestParamInfo<PipeCase>& info) { return std::string(info.param.name); });

TEST(PipeInput, APngOnStandardInputIsAStill) {
    ScratchFolder folder;
    MakeClip("-f lavfi -i testsrc2=size=64x48 -frames:v 1 in.png", folder);
    bool ok = false;
    Shell(Fablix() + " render -b b -g g -r 255 -a a - red.png < in.png 2>err", folder, &ok);
    ASSERT_TRUE(ok) << ReadWholeFile(folder / "err");
    const std::string pixel = Shell("ffmpeg -v error -i red.png -vf crop=1:1:0:0 -f rawvideo -pix_fmt bgra -", folder);
    ASSERT_EQ(pixel.size(), 4u);
    EXPECT_EQ(uint8_t(pixel[2]), 255);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"err", "in.png", "red.png"}));  // no spool left
}

TEST(PipeInput, NothingOnStandardInputIsSaid) {
    ScratchFolder folder;
    bool ok = false;
    Shell(Fablix() + " render -b b -g g -r r -a a - out.mkv < /dev/null 2>err", folder, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadWholeFile(folder / "err"), "fablix: standard input is not a video or image that can be read\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"err"});
}

TEST(PipeOutput, AReaderThatGoesAwayEndsTheRenderWithAMessage) {
    ScratchFolder folder;
    // The built-in clip is 44 MB of raw frames; head takes 10 bytes of it.
    Shell("{ " + Fablix() + " render --quiet" + IdentityWords() +
              " -f rawvideo - 2>err; echo $? >status; } | "
              "head -c 10 >/dev/null",
          folder);
    EXPECT_EQ(ReadWholeFile(folder / "status"), "1\n");
    EXPECT_EQ(ReadWholeFile(folder / "err"), "fablix: cannot write 'standard output': Broken pipe\n");
}

}  // namespace
