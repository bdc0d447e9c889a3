// fablix render keeps what is around the frames of a clip: the other
// streams and the metadata, and the frames' own timestamps. The clips are
// made with FFmpeg's command-line tool and read back with ffprobe.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FfmpegTools.h"

namespace {

const std::vector<std::string> kIdentity = IdentityFormulas();

// 2 s of H.264 at 25 fps with an AAC sound track in French, and a title.
void MakeClipWithSound(const ScratchFolder& folder) {
    MakeClip(
        "-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 2 "
        "-c:v libx264 -pix_fmt yuv420p -c:a aac -metadata title='A title' -metadata:s:a:0 language=fra in.mp4",
        folder);
}

struct StreamCase {
    const char* output;
    std::vector<std::string> codecs;  // of the output's streams, in order
};

void PrintTo(const StreamCase& c, std::ostream* out) { *out << c.output; }

class CarriedStreams : public testing::TestWithParam<StreamCase> {};

TEST_P(CarriedStreams, SoundTitleLanguageAndDurationGoAlong) {
    ScratchFolder folder;
    MakeClipWithSound(folder);
    const std::string output = GetParam().output;
    const ToolRun run = RunTool(Joined(Joined({"render", "--quiet"}, kIdentity), {"in.mp4", output}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Probe(output, "stream=codec_name", folder), GetParam().codecs);
    EXPECT_EQ(Probe(output, "format_tags=title", folder), std::vector<std::string>{"A title"});
    EXPECT_EQ(Probe(output, "stream_tags=language", folder, "-select_streams a"), std::vector<std::string>{"fra"});
    // The sound is the very packets of the input.
    const std::string sound = Shell("ffmpeg -v error -i in.mp4 -map 0:a -c copy -f md5 -", folder);
    ASSERT_PRED2(Holds, sound, "MD5=");
    EXPECT_EQ(Shell("ffmpeg -v error -i " + output + " -map 0:a -c copy -f md5 -", folder), sound);
    const double frame = 1.0 / 25;
    EXPECT_NEAR(ProbeSeconds(output, "format=duration", folder), ProbeSeconds("in.mp4", "format=duration", folder),
                frame);
}

INSTANTIATE_TEST_SUITE_P(Containers, CarriedStreams,
                         testing::Values(StreamCase{"out.mp4", {"h264", "aac"}}, StreamCase{"out.mov", {"h264", "aac"}},
                                         StreamCase{"out.mkv", {"ffv1", "aac"}}),
                         [](const testing::TestParamInfo<StreamCase>& info) {
                             return std::string(info.param.output).substr(4);
                         });

TEST(CarriedStreamsLeftOut, NoAudioLeavesTheSoundOutQuietly) {
    ScratchFolder folder;
    MakeClipWithSound(folder);
    for (const char* option : {"--no-audio", "-an"}) {
        const ToolRun run =
            RunTool(Joined(Joined({"render", "--quiet", "-y", option}, kIdentity), {"in.mp4", "out.mp4"}), folder);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "") << option;
        EXPECT_EQ(Probe("out.mp4", "stream=codec_name", folder), std::vector<std::string>{"h264"}) << option;
        EXPECT_EQ(Probe("out.mp4", "format_tags=title", folder), std::vector<std::string>{"A title"}) << option;
    }
}

TEST(CarriedStreamsLeftOut, AStreamTheContainerCannotHoldIsNamed) {
    ScratchFolder folder;
    MakeClipWithSound(folder);
    folder.WriteFile("words.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n");
    MakeClip("-i in.mp4 -i words.srt -map 0 -map 1 -c copy -c:s srt in.mkv", folder);
    const ToolRun run = RunTool(Joined(Joined({"render", "--quiet"}, kIdentity), {"in.mkv", "out.mp4"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err,
              "fablix: warning: stream 2 (subtitle, subrip) of 'in.mkv' is left out: the output's container (mp4) "
              "cannot hold it as it is\n");
    EXPECT_EQ(Probe("out.mp4", "stream=codec_name", folder), (std::vector<std::string>{"h264", "aac"}));
    // A container that takes subtitles keeps them.
    const ToolRun kept = RunTool(Joined(Joined({"render", "--quiet"}, kIdentity), {"in.mkv", "out.mkv"}), folder);
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(kept.err, "");
    EXPECT_EQ(Probe("out.mkv", "stream=codec_name", folder), (std::vector<std::string>{"ffv1", "aac", "subrip"}));
}

// 2 s of H.264 at 25 fps whose sound is silent for its first second and a
// tone after it, so that where the tone starts shows the sync.
void MakeClipWithOnset(const std::string& name, const std::string& sound, const ScratchFolder& folder) {
    MakeClip(
        "-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i \"aevalsrc='if(gt(t,1),sin(440*2*PI*t),0)':s=48000\" "
        "-t 2 -c:v libx264 -pix_fmt yuv420p -c:a " +
            sound + " " + name,
        folder);
}

// The seconds of sound a player gets from `file`: its first sound stream
// decoded (the encoder's priming and padding dropped, as players drop it).
double SoundSeconds(const std::string& file, const ScratchFolder& folder) {
    constexpr double kBytesPerSecond = 2.0 * 48000;  // mono s16 at 48 kHz
    return double(
               Shell("ffmpeg -nostdin -v error -i " + file + " -map 0:a:0 -f s16le -ac 1 -ar 48000 -", folder).size()) /
           kBytesPerSecond;
}

// Where the tone starts, in seconds after the video's first frame.
double ToneAfterFirstFrame(const std::string& file, const ScratchFolder& folder) {
    const std::string log =
        Shell("ffmpeg -nostdin -i " + file + " -map 0:a:0 -af silencedetect=n=-40dB:d=0.1 -f null - 2>&1", folder);
    const size_t at = log.find("silence_end:");
    if (at == std::string::npos) return -1;
    return std::atof(log.c_str() + at + 12) - ProbeSeconds(file, "stream=start_time -select_streams v", folder);
}

struct SoundCase {
    const char* name;
    const char* input;  // made with this sound codec: "in.mkv:pcm_s16le"
    std::vector<std::string> options;
    const char* output;
    std::vector<std::string> codecs;  // of the output's streams, in order
    std::string warning;              // the whole of standard error
};

void PrintTo(const SoundCase& c, std::ostream* out) { *out << c.name; }

class ReEncodedSound : public testing::TestWithParam<SoundCase> {};

// One sound frame, the longest of the encoders here: AAC's 1024 samples at
// 48 kHz; and a sample more for rounding. A Matroska file keeps no record
// of AAC's priming (1024 samples), so its sound plays that much longer, as
// it does from FFmpeg's own tool.
constexpr double kSoundFrameSeconds = 1025.0 / 48000;
// Matroska counts milliseconds, and a lossy codec's pre-echo (Opus looks
// 2.5 ms ahead) moves where the tone seems to start.
constexpr double kSyncSeconds = 0.0025;

TEST_P(ReEncodedSound, KeepsItsLengthAndSync) {
    ScratchFolder folder;
    const SoundCase& c = GetParam();
    const std::string input(c.input, std::strchr(c.input, ':'));
    MakeClipWithOnset(input, std::strchr(c.input, ':') + 1, folder);
    const ToolRun run =
        RunTool(Joined(Joined(Joined({"render", "--quiet"}, kIdentity), c.options), {input, c.output}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, c.warning);
    EXPECT_EQ(Probe(c.output, "stream=codec_name", folder), c.codecs);
    EXPECT_NEAR(SoundSeconds(c.output, folder), SoundSeconds(input, folder), kSoundFrameSeconds);
    const double tone = ToneAfterFirstFrame(input, folder);
    ASSERT_GT(tone, 0.9);
    EXPECT_NEAR(ToneAfterFirstFrame(c.output, folder), tone, kSyncSeconds);
    // Encoded anew, not the input's packets.
    EXPECT_NE(Shell("ffmpeg -v error -i " + std::string(c.output) + " -map 0:a -c copy -f md5 -", folder),
              Shell("ffmpeg -v error -i " + input + " -map 0:a -c copy -f md5 -", folder));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReEncodedSound,
    testing::Values(
        SoundCase{"PcmIntoMp4",
                  "in.mkv:pcm_s16le",
                  {},
                  "out.mp4",
                  {"h264", "aac"},
                  "fablix: warning: stream 1 (audio, pcm_s16le) of 'in.mkv' is re-encoded as aac: the "
                  "output's container (mp4) cannot hold it as it is\n"},
        SoundCase{"FlacIntoMov",
                  "in.mkv:flac",
                  {},
                  "out.mov",
                  {"h264", "aac"},
                  "fablix: warning: stream 1 (audio, flac) of 'in.mkv' is re-encoded as aac: the "
                  "output's container (mov) cannot hold it as it is\n"},
        SoundCase{"FlacIntoMp4",
                  "in.mkv:flac",
                  {},
                  "out.mp4",
                  {"h264", "aac"},
                  "fablix: warning: stream 1 (audio, flac) of 'in.mkv' is re-encoded as aac: the "
                  "output's container (mp4) cannot hold it as it is\n"},
        SoundCase{"AacIntoWebm",
                  "in.mp4:aac",
                  {},
                  "out.webm",
                  {"vp9", "opus"},
                  "fablix: warning: stream 1 (audio, aac) of 'in.mp4' is re-encoded as opus (libopus): "
                  "the output's container (webm) cannot hold it as it is\n"},
        SoundCase{"AacAskedInMkv", "in.mp4:aac", {"-c:a", "aac"}, "out.mkv", {"ffv1", "aac"}, ""},
        SoundCase{"FlacAskedInMkv", "in.mp4:aac", {"-c:a", "flac"}, "out.mkv", {"ffv1", "flac"}, ""},
        SoundCase{
            "OpusAtABitRate", "in.mkv:pcm_s16le", {"-c:a", "libopus", "-b:a", "48k"}, "out.mkv", {"ffv1", "opus"}, ""}),
    [](const testing::TestParamInfo<SoundCase>& info) { return std::string(info.param.name); });

TEST(ReEncodedSoundBitRate, ReachesTheEncoder) {
    ScratchFolder folder;
    MakeClipWithOnset("in.mkv", "pcm_s16le", folder);
    std::vector<double> rates;
    for (const char* rate : {"32k", "192k"}) {
        const ToolRun run = RunTool(Joined(Joined({"render", "--quiet", "-y", "-c:a", "aac", "-b:a", rate}, kIdentity),
                                           {"in.mkv", "out.mp4"}),
                                    folder);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        rates.push_back(ProbeSeconds("out.mp4", "stream=bit_rate -select_streams a", folder));
    }
    // A tone after silence takes less than either rate; the higher one still spends more.
    EXPECT_LE(rates[0], 32000 * 1.1);
    EXPECT_GT(rates[1], 1.5 * rates[0]);
}

// The presentation times of a clip's video frames, as ffprobe prints them.
std::vector<double> FrameTimes(const std::string& file, const ScratchFolder& folder) {
    std::vector<double> times;
    for (const std::string& value : Probe(file, "frame=pts_time", folder, "-select_streams v"))
        times.push_back(std::atof(value.c_str()));
    return times;
}

TEST(ClipTiming, VariableFrameRateAndStartOffsetAreKept) {
    ScratchFolder folder;
    // 30 frames at 30 fps, then every fourth frame only: 3.7 s of 52 frames,
    // starting at 0.5 s.
    MakeClip(
        "-f lavfi -i testsrc2=size=64x48:rate=30 -t 4 -vf \"select='lt(n\\,30)+not(mod(n\\,4))'\" -vsync vfr "
        "-output_ts_offset 0.5 -c:v libx264 vfr.mkv",
        folder);
    const std::vector<double> input = FrameTimes("vfr.mkv", folder);
    ASSERT_EQ(input.size(), 52u);
    for (const char* output : {"out.mp4", "out.mkv"}) {
        const ToolRun run = RunTool(Joined(Joined({"render", "--quiet"}, kIdentity), {"vfr.mkv", output}), folder);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "") << output;  // fewer frames than 3.9 s at 30 fps is no clip cut short
        const std::vector<double> times = FrameTimes(output, folder);
        ASSERT_EQ(times.size(), input.size()) << output;
        for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], input[i], 0.0015) << output << " frame " << i;
    }
}

TEST(ClipTiming, TIsTheFrameIndexWhateverTheTimestamps) {
    ScratchFolder folder;
    MakeClip(
        "-f lavfi -i testsrc2=size=64x48:rate=30 -t 2 -vf \"select='not(mod(n\\,7))'\" -vsync vfr "
        "-c:v ffv1 vfr.mkv",
        folder);
    const ToolRun run =
        RunTool({"render", "--quiet", "-b", "t", "-g", "T", "-r", "0", "-a", "255", "vfr.mkv", "f%02d.png"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Frames 0 to 8 of the 9: t is 0, 1, ... 8, T is 8.
    for (int32_t i = 0; i < 9; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.png", i);
        bool ok = false;
        const std::string bytes =
            Shell("ffmpeg -v error -i " + std::string(name) + " -vf crop=1:1:0:0 -f rawvideo -pix_fmt bgra -", folder,
                  &ok);
        ASSERT_TRUE(ok && bytes.size() == 4) << name;
        EXPECT_EQ(int(uint8_t(bytes[0])), i) << name;
        EXPECT_EQ(int(uint8_t(bytes[1])), 8) << name;
    }
}

TEST(ClipTiming, AFrameRangeStartsAtTheClipsStartAndCutsTheSound) {
    ScratchFolder folder;
    MakeClipWithSound(folder);
    const ToolRun run =
        RunTool(Joined(Joined({"render", "--quiet", "--frames", "25:37"}, kIdentity), {"in.mp4", "out.mkv"}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<double> times = FrameTimes("out.mkv", folder);
    ASSERT_EQ(times.size(), 13u);
    EXPECT_NEAR(times[0], FrameTimes("in.mp4", folder)[0], 0.0015);
    EXPECT_NEAR(times[12] - times[0], 12.0 / 25, 0.0015);
    // The sound covers the 13 frames, to within a sound packet (1024 samples).
    const std::vector<std::string> audio = Probe("out.mkv", "packet=pts_time", folder, "-select_streams a");
    ASSERT_FALSE(audio.empty());
    EXPECT_NEAR(std::atof(audio.front().c_str()), times[0], 1024.0 / 48000);
    EXPECT_NEAR(std::atof(audio.back().c_str()), times[0] + 13.0 / 25, 2 * 1024.0 / 48000);
}

}  // namespace

namespace {

// The average PSNR (all planes) of `file` against `reference`, by FFmpeg's
// psnr filter.
double Psnr(const std::string& file, const std::string& reference, const ScratchFolder& folder) {
    const std::string log =
        Shell("ffmpeg -nostdin -i " + file + " -i " + reference + " -lavfi psnr -f null - 2>&1", folder);
    const size_t at = log.find("average:");
    return at == std::string::npos ? -1 : std::atof(log.c_str() + at + 8);
}

struct ColourCase {
    const char* name;
    const char* tags;        // ffmpeg options that make and tag the input
    const char* told;        // scale options that tell FFmpeg's round trip the input's matrix
    const char* colorSpace;  // the tag the output carries
};

void PrintTo(const ColourCase& c, std::ostream* out) { *out << c.name; }

class IdentityColour : public testing::TestWithParam<ColourCase> {};

// The identity block keeps at least what FFmpeg's own round trip through
// BGRA keeps with the same encoder, and tags the output with the matrix
// it converted with.
TEST_P(IdentityColour, KeepsAtLeastFfmpegsRoundTripAndTagsTheOutput) {
    ScratchFolder folder;
    const ColourCase& c = GetParam();
    MakeClip(std::string("-f lavfi -i testsrc2=size=320x180:rate=25 -t 1 -c:v libx264 -crf 10 -pix_fmt yuv420p ") +
                 c.tags + " in.mp4",
             folder);
    const ToolRun run = RunTool(Joined(Joined({"render", "--quiet", "-crf", "18", "-preset", "medium"}, kIdentity),
                                       {"in.mp4", "out.mp4"}),
                                folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    MakeClip(std::string("-i in.mp4 -vf scale=") + c.told + ",format=bgra,scale=" + c.told +
                 ",format=yuv420p -c:v libx264 -crf 18 -preset medium ffmpeg.mp4",
             folder);
    const double ours = Psnr("out.mp4", "in.mp4", folder), theirs = Psnr("ffmpeg.mp4", "in.mp4", folder);
    ASSERT_GT(theirs, 30) << "FFmpeg's round trip is no bar";
    EXPECT_GE(ours, theirs);
    EXPECT_EQ(Probe("out.mp4", "stream=color_space", folder), std::vector<std::string>{c.colorSpace});
}

INSTANTIATE_TEST_SUITE_P(
    Tags, IdentityColour,
    testing::Values(ColourCase{"Untagged", "", "flags=bicubic", "smpte170m"},
                    ColourCase{"Bt709",
                               "-vf scale=out_color_matrix=bt709 -colorspace bt709 -color_primaries bt709 "
                               "-color_trc bt709",
                               "in_color_matrix=bt709:out_color_matrix=bt709", "bt709"}),
    [](const testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });

struct DepthCase {
    const char* name;
    const char* make;  // ffmpeg options after the source
    const char* input;
    const char* output;
    std::string warning;
};

void PrintTo(const DepthCase& c, std::ostream* out) { *out << c.name; }

class ReducedOrChanged : public testing::TestWithParam<DepthCase> {};

TEST_P(ReducedOrChanged, IsSaidInOneLine) {
    ScratchFolder folder;
    const DepthCase& c = GetParam();
    MakeClip(std::string("-f lavfi -i testsrc2=size=33x17:rate=25 -frames:v 2 ") + c.make + " " + c.input, folder);
    const ToolRun run = RunTool(Joined(Joined({"render", "--quiet"}, kIdentity), {c.input, c.output}), folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, c.warning);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReducedOrChanged,
    testing::Values(DepthCase{"TenBitClip", "-c:v ffv1 -pix_fmt yuv420p10le", "deep.mkv", "out.mkv",
                              "fablix: warning: 'deep.mkv' has 10-bit samples; the formulas work on 8 bits, so its "
                              "frames are reduced to 8 bits\n"},
                    DepthCase{"SixteenBitPng", "-frames:v 1 -pix_fmt rgb48be", "deep.png", "out.png",
                              "fablix: warning: 'deep.png' has 16-bit samples; the formulas work on 8 bits, so its "
                              "frames are reduced to 8 bits\n"},
                    DepthCase{"OddSizeH264", "-vf scale=33:17 -pix_fmt yuv444p -c:v ffv1", "odd.mkv", "odd.mp4",
                              "fablix: warning: 'odd.mp4' is 33 x 17: H.264 in 4:2:0 (yuv420p) needs an even width "
                              "and height, so it is written in 4:4:4 (yuv444p), which some players do not play\n"}),
    [](const testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

}  // namespace
