#include <gtest/gtest.h>

#include <cstdlib>
#include <type_traits>

extern "C" {
#include <libavformat/avformat.h>
}

#include "ClipReader.h"
#include "ClipWriter.h"
#include "MediaResult.h"
#include "MediaTestSupport.h"
#include "Png.h"

namespace {

std::vector<Frame> NumberedFrames(int32_t width, int32_t height, int32_t count) {
    std::vector<Frame> frames;
    for (int32_t i = 0; i < count; ++i) frames.push_back(NumberedFrame(width, height, i));
    return frames;
}

Frame FlatFrame(int32_t width, int32_t height, Bgra colour) {
    Frame frame;
    MakeFrame(frame, width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) SetPixelAt(frame, x, y, colour);
    return frame;
}

// Writes the frames as one clip; kMediaOk or the first failure.
int32_t WriteClip(const std::string& path, const std::vector<Frame>& frames, int32_t rateNumerator,
                  int32_t rateDenominator, std::string& message, int32_t encoderThreads = 0,
                  int32_t* encoders = nullptr) {
    ClipWriter writer;
    int32_t result = OpenClipWriter(writer, path.c_str(), frames[0].width, frames[0].height, rateNumerator,
                                    rateDenominator, message, encoderThreads);
    if (encoders != nullptr) *encoders = writer.encoders;
    for (size_t i = 0; result == kMediaOk && i < frames.size(); ++i)
        result = WriteClipFrame(writer, frames[i], message);
    if (result != kMediaOk) {
        CloseClipWriter(writer);
        return result;
    }
    return FinishClipWriter(writer, message);
}

TEST(ClipRoundTrip, MkvIsLosslessIncludingAlpha) {
    ScratchFolder folder;
    std::string path = folder / "clip.mkv";
    std::vector<Frame> frames = NumberedFrames(32, 24, 4);
    std::string message;
    ASSERT_EQ(WriteClip(path, frames, 24, 1, message), kMediaOk) << message;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"clip.mkv"});

    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    EXPECT_EQ(reader.width, 32);
    EXPECT_EQ(reader.height, 24);
    EXPECT_EQ(reader.frameCount, 4);
    EXPECT_EQ(reader.rateNumerator, 24);
    EXPECT_EQ(reader.rateDenominator, 1);
    Frame frame;
    for (int32_t i = 0; i < 4; ++i) {
        ASSERT_EQ(ReadClipFrame(reader, i, frame, message), kMediaOk) << message;
        EXPECT_EQ(frame.width, 32);
        EXPECT_EQ(frame.rowBytes, 128);
        EXPECT_EQ(frame.pixels, frames[size_t(i)].pixels) << "frame " << i;
    }
    CloseClipReader(reader);
    EXPECT_EQ(reader.state, nullptr);
}

// The handle owns the output being written: it moves, it is never copied,
// and an unfinished one that goes away takes its temporary files along.
static_assert(!std::is_copy_constructible_v<ClipWriter> && !std::is_copy_assignable_v<ClipWriter>);
static_assert(std::is_nothrow_move_constructible_v<ClipWriter>);

struct HandleCase {
    const char* output;
    std::vector<std::string> names;  // in the folder once finished
};

class ClipWriterHandle : public testing::TestWithParam<HandleCase> {};

TEST_P(ClipWriterHandle, MovesTheOpenClipAndDroppedRemovesIt) {
    ScratchFolder folder;
    const std::string path = folder / GetParam().output;
    const std::vector<Frame> frames = NumberedFrames(16, 8, 3);
    std::string message;
    {
        ClipWriter dropped;
        ASSERT_EQ(OpenClipWriter(dropped, path.c_str(), 16, 8, 25, 1, message), kMediaOk) << message;
        ASSERT_EQ(WriteClipFrame(dropped, frames[0], message), kMediaOk) << message;
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{});

    ClipWriter first;
    ASSERT_EQ(OpenClipWriter(first, path.c_str(), 16, 8, 25, 1, message), kMediaOk) << message;
    ASSERT_EQ(WriteClipFrame(first, frames[0], message), kMediaOk) << message;
    ClipWriter second = std::move(first);
    EXPECT_EQ(WriteClipFrame(first, frames[1], message), kMediaBadArgument);
    EXPECT_EQ(message, "no clip is being written");
    for (size_t i = 1; i < frames.size(); ++i) ASSERT_EQ(WriteClipFrame(second, frames[i], message), kMediaOk);
    EXPECT_EQ(second.framesWritten, 3);
    ASSERT_EQ(FinishClipWriter(second, message), kMediaOk) << message;
    EXPECT_EQ(folder.Names(), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ClipWriterHandle,
                         testing::Values(HandleCase{"clip.mkv", {"clip.mkv"}},
                                         HandleCase{"f%d.png", {"f0.png", "f1.png", "f2.png"}}),
                         [](const testing::TestParamInfo<HandleCase>& info) {
                             return std::string(info.param.output[0] == 'c' ? "Container" : "Pattern");
                         });

TEST(ClipRoundTrip, RandomAccessGivesTheFrameAtEachIndex) {
    ScratchFolder folder;
    std::string path = folder / "clip.mkv";
    std::vector<Frame> frames = NumberedFrames(16, 8, 9);
    std::string message;
    ASSERT_EQ(WriteClip(path, frames, 25, 1, message), kMediaOk) << message;
    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    ASSERT_EQ(reader.frameCount, 9);
    Frame frame;
    // Forward jumps, small looks back (kept frames) and long ones (decoded again).
    for (int32_t index : {8, 0, 2, 2, 1, 5, 4, 8, 7, 0, 3, 6}) {
        ASSERT_EQ(ReadClipFrame(reader, index, frame, message), kMediaOk) << message;
        EXPECT_EQ(frame.pixels, frames[size_t(index)].pixels) << "frame " << index;
    }
    CloseClipReader(reader);
}

TEST(ClipRoundTrip, Mp4RandomAccessMatchesReadingInOrder) {
    ScratchFolder folder;
    std::string path = folder / "clip.mp4";
    std::string message;
    ASSERT_EQ(WriteClip(path, NumberedFrames(64, 48, 10), 24, 1, message), kMediaOk) << message;
    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    ASSERT_EQ(reader.frameCount, 10);
    std::vector<Frame> inOrder(10);
    for (int32_t i = 0; i < 10; ++i) ASSERT_EQ(ReadClipFrame(reader, i, inOrder[size_t(i)], message), kMediaOk);
    for (int32_t i = 1; i < 10; ++i) EXPECT_NE(inOrder[size_t(i)].pixels, inOrder[size_t(i - 1)].pixels);
    Frame frame;
    for (int32_t index : {9, 1, 0, 7, 3, 3, 8, 2}) {
        ASSERT_EQ(ReadClipFrame(reader, index, frame, message), kMediaOk) << message;
        EXPECT_EQ(frame.pixels, inOrder[size_t(index)].pixels) << "frame " << index;
    }
    CloseClipReader(reader);
}

TEST(ClipRoundTrip, PngPatternWritesOneExactFilePerFrameFromZero) {
    ScratchFolder folder;
    std::vector<Frame> frames = NumberedFrames(12, 10, 3);
    std::string message;
    ASSERT_EQ(WriteClip(folder / "frame%04d.png", frames, 24, 1, message), kMediaOk) << message;
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"frame0000.png", "frame0001.png", "frame0002.png"}));

    Frame still;
    ASSERT_EQ(ReadPng((folder / "frame0001.png").c_str(), still, message), kMediaOk) << message;
    EXPECT_EQ(still.pixels, frames[1].pixels);

    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, (folder / "frame%04d.png").c_str(), message), kMediaOk) << message;
    EXPECT_EQ(reader.frameCount, 3);
    EXPECT_EQ(reader.width, 12);
    EXPECT_EQ(reader.height, 10);
    Frame frame;
    for (int32_t i : {0, 1, 2, 0}) {
        ASSERT_EQ(ReadClipFrame(reader, i, frame, message), kMediaOk) << message;
        EXPECT_EQ(frame.pixels, frames[size_t(i)].pixels) << "frame " << i;
    }
    CloseClipReader(reader);
}

// A clip's encoded video as bytes: the stream's header, then every packet
// with its time, in the order the file holds them.
std::vector<std::string> EncodedVideo(const std::string& path) {
    AVFormatContext* format = nullptr;
    std::vector<std::string> parts;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return parts;
    const AVCodecParameters* video = format->streams[0]->codecpar;
    parts.emplace_back(reinterpret_cast<const char*>(video->extradata), size_t(video->extradata_size));
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        parts.push_back(std::to_string(packet->pts) + ":" +
                        std::string(reinterpret_cast<const char*>(packet->data), size_t(packet->size)));
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return parts;
}

// Intra-only outputs encode several frames at once, each with an encoder of
// its own: the result must be that of one encoder, byte for byte, and stay
// lossless. Seven frames: no multiple of two or three encoders (an .mkv
// has one encoder per four threads, a PNG pattern one per thread).
TEST(ClipEncoders, SeveralAtOnceWriteTheBytesOfOne) {
    ScratchFolder folder;
    const std::vector<Frame> frames = NumberedFrames(96, 40, 7);
    std::string message;
    std::vector<std::vector<std::string>> clips, patterns;
    for (int32_t encoders : {1, 2, 3}) {
        const std::string name = std::to_string(encoders);
        int32_t used = 0;
        ASSERT_EQ(WriteClip(folder / (name + ".mkv"), frames, 24, 1, message, 4 * encoders, &used), kMediaOk)
            << message;
        EXPECT_EQ(used, encoders);
        clips.push_back(EncodedVideo(folder / (name + ".mkv")));
        ASSERT_EQ(WriteClip(folder / (name + "-%d.png"), frames, 24, 1, message, encoders, &used), kMediaOk) << message;
        EXPECT_EQ(used, encoders);
        patterns.emplace_back();
        for (size_t i = 0; i < frames.size(); ++i)
            patterns.back().push_back(ReadWholeFile(folder / (name + "-" + std::to_string(i) + ".png")));

        ClipReader reader;
        ASSERT_EQ(OpenClipReader(reader, (folder / (name + ".mkv")).c_str(), message), kMediaOk) << message;
        Frame frame;
        for (int32_t i = 0; i < int32_t(frames.size()); ++i) {
            ASSERT_EQ(ReadClipFrame(reader, i, frame, message), kMediaOk) << message;
            EXPECT_EQ(frame.pixels, frames[size_t(i)].pixels) << encoders << " encoders, frame " << i;
        }
        CloseClipReader(reader);
    }
    ASSERT_EQ(clips[0].size(), frames.size() + 1);
    EXPECT_FALSE(clips[0][0].empty());  // FFV1 keeps its tables in the header
    for (size_t i = 2; i < clips[0].size(); ++i) EXPECT_NE(clips[0][i], clips[0][i - 1]) << "packet " << i;
    for (size_t k = 1; k < clips.size(); ++k) {
        EXPECT_EQ(clips[k], clips[0]) << "clip, " << k + 1 << " encoders";
        EXPECT_EQ(patterns[k], patterns[0]) << "PNG pattern, " << k + 1 << " encoders";
    }
}

TEST(ClipRoundTrip, KeepsAFractionalFrameRate) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WriteClip(folder / "ntsc.mkv", NumberedFrames(8, 8, 2), 30000, 1001, message), kMediaOk) << message;
    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, (folder / "ntsc.mkv").c_str(), message), kMediaOk) << message;
    EXPECT_EQ(reader.rateNumerator, 30000);
    EXPECT_EQ(reader.rateDenominator, 1001);
    CloseClipReader(reader);
}

struct LossyCase {
    const char* extension;
    int32_t width, height, frames;
};

class LossyClips : public testing::TestWithParam<LossyCase> {};

TEST_P(LossyClips, ReadBackWithTheirFrameCountSizeAndRate) {
    const LossyCase& c = GetParam();
    ScratchFolder folder;
    std::string path = folder / (std::string("clip") + c.extension);
    std::vector<Frame> frames;
    for (int32_t i = 0; i < c.frames; ++i) frames.push_back(FlatFrame(c.width, c.height, Bgra{90, 40, 200, 255}));
    std::string message;
    ASSERT_EQ(WriteClip(path, frames, 24, 1, message), kMediaOk) << message;

    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    EXPECT_EQ(reader.frameCount, c.frames);
    EXPECT_EQ(reader.width, c.width);
    EXPECT_EQ(reader.height, c.height);
    if (std::string(c.extension) != ".gif") {  // GIF delays are whole hundredths: 24 fps is not one
        EXPECT_EQ(double(reader.rateNumerator) / reader.rateDenominator, 24.0);
    }
    Frame frame;
    ASSERT_EQ(ReadClipFrame(reader, c.frames - 1, frame, message), kMediaOk) << message;
    Bgra centre = PixelAt(frame, c.width / 2, c.height / 2);
    EXPECT_EQ(centre[3], 255);
    // Lossy, yet a flat colour must come back close; a wrong matrix or
    // swapped channels would be far off.
    const Bgra written{90, 40, 200, 255};
    int tolerance = std::string(c.extension) == ".gif" ? 40 : 6;
    for (size_t channel = 0; channel < 3; ++channel)
        EXPECT_LE(std::abs(centre[channel] - written[channel]), tolerance) << "channel " << channel;
    CloseClipReader(reader);
}

INSTANTIATE_TEST_SUITE_P(Clip, LossyClips,
                         testing::Values(LossyCase{".mp4", 64, 48, 5}, LossyCase{".mp4", 33, 25, 2},
                                         LossyCase{".mov", 64, 48, 3}, LossyCase{".gif", 40, 30, 3},
                                         LossyCase{".MP4", 32, 32, 1}),
                         [](const testing::TestParamInfo<LossyCase>& info) {
                             return std::string(info.param.extension + 1) + "_" + std::to_string(info.param.width) +
                                    "x" + std::to_string(info.param.height);
                         });

TEST(ClipReadErrors, MissingFileCannotBeOpened) {
    ScratchFolder folder;
    std::string path = folder / "absent.mp4";
    ClipReader reader;
    std::string message;
    EXPECT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaCannotOpen);
    EXPECT_EQ(message, "cannot open '" + path + "': No such file or directory");
    EXPECT_EQ(reader.state, nullptr);
    EXPECT_EQ(reader.frameCount, 0);
}

TEST(ClipReadErrors, FilesThatAreNoVideoAreUnsupported) {
    ScratchFolder folder;
    for (const char* name : {"notes.txt", "notes.mkv", "noise.mp4"}) {
        folder.WriteFile(name, std::string(name) == "noise.mp4" ? std::string(4096, '\x5A')
                                                                : "these are words, not frames\n");
        std::string path = folder / name;
        ClipReader reader;
        std::string message;
        EXPECT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaUnsupported) << name << ": " << message;
        EXPECT_EQ(message, "'" + path + "' is not a video or image that can be read");
        EXPECT_EQ(reader.state, nullptr);
    }
}

TEST(ClipReadErrors, IndicesOutsideTheClipAreRefused) {
    ScratchFolder folder;
    std::string message;
    std::string path = folder / "clip.mkv";
    ASSERT_EQ(WriteClip(path, NumberedFrames(8, 8, 2), 24, 1, message), kMediaOk) << message;
    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    Frame frame;
    EXPECT_EQ(ReadClipFrame(reader, 2, frame, message), kMediaBadArgument);
    EXPECT_EQ(message, "frame 2 is outside '" + path + "' (frames 0 to 1)");
    EXPECT_EQ(ReadClipFrame(reader, -1, frame, message), kMediaBadArgument);
    CloseClipReader(reader);
    EXPECT_EQ(ReadClipFrame(reader, 0, frame, message), kMediaBadArgument);
    EXPECT_EQ(message, "no clip is open");
}

TEST(ClipReadErrors, TruncatedClipReportsTheFramesItLost) {
    ScratchFolder folder;
    std::string path = folder / "cut.mp4";
    std::string message;
    ASSERT_EQ(WriteClip(path, NumberedFrames(64, 48, 8), 24, 1, message), kMediaOk) << message;
    // The index sits in front, so the container still promises 8 frames.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) * 7 / 10);
    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, path.c_str(), message), kMediaOk) << message;
    EXPECT_EQ(reader.frameCount, 8);
    Frame frame;
    EXPECT_EQ(ReadClipFrame(reader, 0, frame, message), kMediaOk) << message;
    EXPECT_EQ(ReadClipFrame(reader, 7, frame, message), kMediaFrameMissing);
    EXPECT_EQ(message.rfind("'" + path + "' declares 8 frames, but only ", 0), 0u) << message;
    EXPECT_EQ(message.substr(message.size() - 15), " can be decoded") << message;
    EXPECT_EQ(ReadClipFrame(reader, 0, frame, message), kMediaOk) << message;  // still usable
    CloseClipReader(reader);
}

TEST(ClipReadWarnings, TheFirstFrameOfAnotherSizeIsNoted) {
    ScratchFolder folder;
    std::string message;
    const int32_t widths[] = {6, 6, 8, 6, 4};
    for (int32_t i = 0; i < 5; ++i)
        ASSERT_EQ(WritePng((folder / ("f" + std::to_string(i) + ".png")).c_str(), NumberedFrame(widths[i], 4, i),
                           message),
                  kMediaOk);
    ClipReader reader;
    ASSERT_EQ(OpenClipReader(reader, (folder / "f%d.png").c_str(), message), kMediaOk) << message;
    Frame frame;
    for (int32_t i = 0; i < 5; ++i) {
        ASSERT_EQ(ReadClipFrame(reader, i, frame, message), kMediaOk) << message;
        EXPECT_EQ(frame.width, 6);
        EXPECT_EQ(reader.resizedFrame, i < 2 ? -1 : 2) << i;
    }
    EXPECT_EQ(reader.resizedWidth, 8);
    EXPECT_EQ(reader.resizedHeight, 4);
    CloseClipReader(reader);
}

TEST(ClipOutputKinds, FollowTheExtension) {
    struct Case {
        const char* path;
        int32_t result;
        ClipFormat format;
    };
    for (const Case& c :
         {Case{"a.mp4", kMediaOk, kClipMp4}, Case{"a.MOV", kMediaOk, kClipMov}, Case{"dir.x/a.mkv", kMediaOk, kClipMkv},
          Case{"a.gif", kMediaOk, kClipGif}, Case{"out/f%04d.png", kMediaOk, kClipPngSequence},
          Case{"f%d.png", kMediaOk, kClipPngSequence}, Case{"100%.mp4", kMediaOk, kClipMp4},
          Case{"a.png", kMediaUnsupported, kClipMkv}, Case{"f%d%d.png", kMediaUnsupported, kClipMkv},
          Case{"a.avi", kMediaUnsupported, kClipMkv}, Case{"noextension", kMediaUnsupported, kClipMkv},
          Case{"a.webm", kMediaOk, kClipWebm}, Case{"a.Y4M", kMediaOk, kClipY4m}, Case{"a.nut", kMediaOk, kClipNut},
          Case{"a.jpeg", kMediaOk, kClipJpeg}, Case{"a.jpg", kMediaOk, kClipJpeg}, Case{"a.webp", kMediaOk, kClipWebp},
          Case{"a.tif", kMediaOk, kClipTiff}, Case{"a.tiff", kMediaOk, kClipTiff}}) {
        ClipFormat format = kClipMkv;
        std::string message;
        EXPECT_EQ(ClipFormatForPath(c.path, format, message), c.result) << c.path;
        EXPECT_EQ(format, c.format) << c.path;
    }
    ClipFormat format;
    std::string message;
    ClipFormatForPath("a.avi", format, message);
    EXPECT_EQ(message,
              "cannot write 'a.avi': unknown kind of output; use .png, .jpg, .webp or .tiff for a still image, or "
              ".mp4, .mov, .mkv, .webm, .gif, .y4m, .nut or a numbered PNG pattern such as frame%04d.png for a "
              "clip");
    ClipFormatForPath("a.png", format, message);
    EXPECT_EQ(message, "cannot write 'a.png': a clip needs a frame number in the name, such as frame%04d.png");
}

class UnwritableFolder : public testing::TestWithParam<const char*> {};

TEST_P(UnwritableFolder, FailsAtOpenAndLeavesNothing) {
    ScratchFolder folder;
    folder.WriteFile("blocker", "a file where a folder should be");
    std::string path = folder / (std::string("blocker/") + GetParam());
    ClipWriter writer;
    std::string message;
    EXPECT_EQ(OpenClipWriter(writer, path.c_str(), 16, 16, 24, 1, message), kMediaCannotWrite);
    std::string shown = std::string(GetParam()) == "f%03d.png" ? folder / "blocker/f000.png" : path;
    EXPECT_EQ(message, "cannot write '" + shown + "': Not a directory");
    EXPECT_EQ(writer.state, nullptr);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"blocker"});
}

INSTANTIATE_TEST_SUITE_P(Clip, UnwritableFolder, testing::Values("out.mkv", "out.mp4", "out.gif", "f%03d.png"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(std::string(info.param).size() - 3);
                         });

class FailedWrite : public testing::TestWithParam<const char*> {};

TEST_P(FailedWrite, AfterSomeFramesLeavesNothingAndKeepsTheOldFile) {
    ScratchFolder folder;
    std::string name = GetParam();
    bool pattern = name.find('%') != std::string::npos;
    if (!pattern) folder.WriteFile(name, "an older clip");
    std::string path = folder / name;
    ClipWriter writer;
    std::string message;
    ASSERT_EQ(OpenClipWriter(writer, path.c_str(), 16, 12, 24, 1, message), kMediaOk) << message;
    ASSERT_EQ(WriteClipFrame(writer, NumberedFrame(16, 12, 0), message), kMediaOk) << message;
    ASSERT_EQ(WriteClipFrame(writer, NumberedFrame(16, 12, 1), message), kMediaOk) << message;
    EXPECT_EQ(WriteClipFrame(writer, NumberedFrame(12, 16, 2), message), kMediaBadArgument);
    EXPECT_EQ(message, "cannot write '" + path + "': a frame of 12 x 16 does not fit a clip of 16 x 12");
    // The writer stays failed: a good frame now is refused with the same reason.
    EXPECT_EQ(WriteClipFrame(writer, NumberedFrame(16, 12, 2), message), kMediaBadArgument);
    EXPECT_EQ(writer.framesWritten, 2);
    EXPECT_EQ(FinishClipWriter(writer, message), kMediaBadArgument);
    EXPECT_EQ(writer.state, nullptr);
    if (pattern) {
        EXPECT_TRUE(folder.Names().empty());
    } else {
        EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
        EXPECT_EQ(ReadWholeFile(path), "an older clip");
    }
}

TEST_P(FailedWrite, ClosedUnfinishedLeavesNothing) {
    ScratchFolder folder;
    std::string path = folder / GetParam();
    ClipWriter writer;
    std::string message;
    ASSERT_EQ(OpenClipWriter(writer, path.c_str(), 16, 12, 24, 1, message), kMediaOk) << message;
    ASSERT_EQ(WriteClipFrame(writer, NumberedFrame(16, 12, 0), message), kMediaOk) << message;
    EXPECT_FALSE(folder.Names().empty());  // the temporary exists meanwhile
    CloseClipWriter(writer);
    EXPECT_TRUE(folder.Names().empty());
}

TEST_P(FailedWrite, WithoutFramesLeavesNothing) {
    ScratchFolder folder;
    std::string path = folder / GetParam();
    ClipWriter writer;
    std::string message;
    ASSERT_EQ(OpenClipWriter(writer, path.c_str(), 16, 12, 24, 1, message), kMediaOk) << message;
    EXPECT_EQ(FinishClipWriter(writer, message), kMediaBadArgument);
    EXPECT_EQ(message, "cannot write '" + path + "': the clip has no frames");
    EXPECT_TRUE(folder.Names().empty());
}

INSTANTIATE_TEST_SUITE_P(Clip, FailedWrite, testing::Values("out.mkv", "out.mp4", "out.gif", "f%03d.png"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(std::string(info.param).size() - 3);
                         });

TEST(FailedWrite, PatternThatCannotPlaceAFrameRemovesTheFramesPlaced) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "f001.png");  // frame 1 cannot take its name
    std::string message;
    EXPECT_EQ(WriteClip(folder / "f%03d.png", NumberedFrames(8, 8, 3), 24, 1, message), kMediaCannotWrite);
    EXPECT_EQ(message.rfind("cannot write '" + (folder / "f001.png") + "': ", 0), 0u) << message;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"f001.png"});
}

TEST(ClipWriterArguments, BadSizesAndRatesAreRefused) {
    ScratchFolder folder;
    std::string path = folder / "out.mkv";
    struct Case {
        int32_t width, height, numerator, denominator;
    };
    for (const Case& c :
         {Case{0, 8, 24, 1}, Case{8, -1, 24, 1}, Case{8, 8, 0, 1}, Case{8, 8, 24, 0}, Case{70000, 70000, 24, 1}}) {
        ClipWriter writer;
        std::string message;
        EXPECT_EQ(OpenClipWriter(writer, path.c_str(), c.width, c.height, c.numerator, c.denominator, message),
                  kMediaBadArgument);
        EXPECT_EQ(writer.state, nullptr);
    }
    ClipWriter writer;
    std::string message;
    EXPECT_EQ(OpenClipWriter(writer, (folder / "out.avi").c_str(), 8, 8, 24, 1, message), kMediaUnsupported);
    EXPECT_EQ(WriteClipFrame(writer, NumberedFrame(8, 8, 0), message), kMediaBadArgument);
    EXPECT_EQ(message, "no clip is being written");
    EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
