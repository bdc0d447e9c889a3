// FFmpeg's error lines explain the failure of the reader or writer whose
// context they are about, and of no other.
#include <gtest/gtest.h>

#include <string>

#include "FfmpegSupport.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

const int kInvalid = AVERROR(EINVAL);
const std::string kInvalidText = "Invalid argument";

enum About { kFormat, kCodec, kNoContext };

// A muxer's and an encoder's contexts, both kept by one detail.
struct Owner {
    AVFormatContext* format = avformat_alloc_context();
    AVCodecContext* codec = avcodec_alloc_context3(nullptr);
    FfmpegDetail detail;

    Owner() {
        KeepFfmpegDetail(format, &detail);
        KeepFfmpegDetail(codec, &detail);
    }
    ~Owner() {
        avformat_free_context(format);
        avcodec_free_context(&codec);
    }
    void* Context(About about) const {
        return about == kFormat ? static_cast<void*>(format) : about == kCodec ? static_cast<void*>(codec) : nullptr;
    }
};

TEST(FfmpegDetail, ExplainsOnlyTheFailuresOfTheLoggingContextsOwner) {
    PrepareFfmpeg();
    const struct {
        const char* what;
        About about;
        int level;
        const char* line;
        std::string shown;  // by the owner's text; every other owner's is plain
    } cases[] = {
        {"an error about the muxer", kFormat, AV_LOG_ERROR, "moov atom not found\n",
         kInvalidText + " (moov atom not found)"},
        {"an error about the encoder, trimmed", kCodec, AV_LOG_ERROR, "width not divisible by 2 \r\n",
         kInvalidText + " (width not divisible by 2)"},
        {"a fatal line", kCodec, AV_LOG_FATAL, "out of frames", kInvalidText + " (out of frames)"},
        {"a warning", kCodec, AV_LOG_WARNING, "slow preset\n", kInvalidText},
        {"the error's own text", kFormat, AV_LOG_ERROR, "Invalid argument\n", kInvalidText},
        {"a blank line", kFormat, AV_LOG_ERROR, " \n", kInvalidText},
        {"a line about no context", kNoContext, AV_LOG_ERROR, "lost\n", kInvalidText},
    };
    for (const auto& c : cases) {
        Owner owner, other;
        av_log(owner.Context(c.about), c.level, "%s", c.line);
        EXPECT_EQ(FfmpegErrorText(kInvalid, owner.detail), c.shown) << c.what;
        EXPECT_EQ(FfmpegErrorText(kInvalid, other.detail), kInvalidText) << c.what;
        ForgetFfmpegDetail(owner.detail);
        EXPECT_EQ(FfmpegErrorText(kInvalid, owner.detail), kInvalidText) << c.what << ", forgotten";
    }
}

TEST(FfmpegDetail, KeepsTheLastErrorLine) {
    PrepareFfmpeg();
    Owner owner;
    av_log(owner.codec, AV_LOG_ERROR, "first\n");
    av_log(owner.format, AV_LOG_ERROR, "second\n");
    EXPECT_EQ(FfmpegErrorText(kInvalid, owner.detail), kInvalidText + " (second)");
}

}  // namespace
