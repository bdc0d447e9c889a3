#include "ClipWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "FfmpegSupport.h"
#include "FramePattern.h"
#include "MediaResult.h"
#include "OutputFile.h"
#include "Png.h"
#include "WorkerThread.h"

// One encoder of a clip. An intra-only clip may have several, each encoding
// a frame of its own on a thread of its own; with one, or for any other
// clip, the encoder runs on the calling thread (and on threads of its own,
// where the codec has them).
struct EncoderLane {
    AVCodecContext* encoder = nullptr;
    // An encoder may keep a reference to the frame it encoded last (FFV1
    // does), so frames take turns in two pictures: the one it let go is
    // filled again in place, with neither a new buffer nor a copy.
    AVFrame* pictures[2] = {};
    AVFrame* picture = nullptr;      // the one being filled or encoded
    std::vector<AVPacket*> packets;  // what the encoder gave for its frame
    int error = 0;                   // of encoding that frame
    WorkerThread thread;
};

struct ClipWriterState {
    std::string path;
    ClipFormat format = kClipMkv;
    MediaCode failure = kMediaOk;  // once set, the clip is lost and says why
    std::string failureMessage;

    bool replace = true;            // an existing output may be replaced (-y)
    bool toStandardOutput = false;  // written as it goes, to file descriptor 1

    // Container outputs.
    StagedOutput output;
    AVFormatContext* muxer = nullptr;
    std::vector<EncoderLane> lanes;  // frame n goes to lane n % lanes.size()
    int32_t lanesBusy = 0;           // lanes encoding: the last ones started
    AVStream* stream = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int64_t framesSent = 0;  // frames given to the lanes so far
    // Timing: frames get pts in timeBase, in order; a frame without a
    // timestamp of its own follows the last by one step of the rate.
    ClipWriterOptions options;
    AVRational rate{0, 1};
    AVRational timeBase{0, 1};     // of the encoders
    bool keepsTimestamps = false;  // the frames' own timestamps are in timeBase
    int64_t lastPts = INT64_MIN;
    int64_t step = 1;                      // one frame at the rate, in timeBase
    int64_t shift = 0;                     // the frames' timestamps minus their pts
    int64_t endMicros = INT64_MIN;         // where the last frame written ends, on the input's clock
    std::map<int64_t, int64_t> durations;  // per pts of a frame not yet muxed, its duration
    CarriedStreams carried;
    bool headerWritten = false;  // then the muxer owes a trailer, even when abandoned
    bool completed = false;      // everything is written; only the move into place is left

    int32_t encoderThreads = 1;  // threads the encoding may use
    int32_t frameCount = 0;      // the frames the clip will have; 0: not known

    // PNG patterns: the names, each frame's staging, and the frames being
    // encoded, oldest first, each on a thread of its own.
    FramePattern pattern;
    std::vector<StagedOutput> frameOutputs;
    struct PngJob {
        Frame frame;
        std::string temporary, name;
        MediaCode result = kMediaOk;
        std::string message;
        WorkerThread thread;
    };
    std::deque<std::unique_ptr<PngJob>> pngJobs;
    // Frames of finished jobs, taken again: a new frame's memory would be
    // cleared page by page by the system, which costs more than the copy.
    std::vector<Frame> spareFrames;

    FfmpegDetail detail;  // what FFmpeg logged about the muxer and the encoders
};

namespace {

// Every kind of output there is, stills included: a user who names another
// kind learns them all here.
constexpr const char* kKindsWeWrite =
    "use .png, .jpg, .webp or .tiff for a still image, or .mp4, .mov, .mkv, .webm, .gif, .y4m, .nut or a numbered "
    "PNG pattern such as frame%04d.png for a clip";

std::string LowerExtension(const char* path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return extension;
}

MediaCode Fail(ClipWriterState& s, MediaCode code, const std::string& message, std::string& out) {
    s.failure = code;
    s.failureMessage = message;
    out = message;
    return code;
}

void FreePackets(EncoderLane& lane) {
    for (AVPacket*& packet : lane.packets) av_packet_free(&packet);
    lane.packets.clear();
}

void FreeLanes(ClipWriterState& s) {
    for (EncoderLane& lane : s.lanes) {
        JoinWorkerThread(lane.thread);
        FreePackets(lane);
        avcodec_free_context(&lane.encoder);
        for (AVFrame*& picture : lane.pictures) av_frame_free(&picture);
    }
    s.lanes.clear();
    s.lanesBusy = 0;
}

void FreeEncoder(ClipWriterState& s) {
    FreeLanes(s);  // before the trailer: no lane may be encoding still
    // Only the trailer releases the muxer's queued packets and private data;
    // what it writes goes into the temporary, which is removed anyway.
    if (s.headerWritten) av_write_trailer(s.muxer);
    s.headerWritten = false;
    if (s.muxer && s.muxer->pb) avio_closep(&s.muxer->pb);
    avformat_free_context(s.muxer);
    s.muxer = nullptr;
    s.stream = nullptr;
    CloseCarriedStreams(s.carried);
    av_packet_free(&s.packet);
    sws_freeContext(s.scaler);
    s.scaler = nullptr;
}

// Everything this writer wrote goes; called for any clip not finished.
// Waits for the oldest frame being encoded; its result.
MediaCode FinishOldestPng(ClipWriterState& s, std::string& message) {
    std::unique_ptr<ClipWriterState::PngJob> job = std::move(s.pngJobs.front());
    s.pngJobs.pop_front();
    JoinWorkerThread(job->thread);
    message = job->message;
    s.spareFrames.push_back(std::move(job->frame));
    return job->result;
}

MediaCode FinishAllPngs(ClipWriterState& s, std::string& message) {
    MediaCode result = kMediaOk;
    while (!s.pngJobs.empty()) {
        std::string why;
        const MediaCode done = FinishOldestPng(s, why);
        if (result == kMediaOk && done != kMediaOk) {
            result = done;
            message = why;
        }
    }
    return result;
}

void RemoveEverything(ClipWriterState& s) {
    std::string ignored;
    FinishAllPngs(s, ignored);  // their files go below
    FreeEncoder(s);
    if (!s.output.temporary.empty()) DiscardOutput(s.output.temporary);
    for (const StagedOutput& frame : s.frameOutputs) DiscardOutput(frame.temporary);
    s.frameOutputs.clear();
}

struct EncoderChoice {
    const AVCodec* codec = nullptr;
    AVPixelFormat pixels = AV_PIX_FMT_NONE;
};

// Every kind of output: its muxer and its video encoder when -c:v names
// none. FFmpeg's own choice for the container, but for .mkv and .nut, which
// get FFV1 in BGRA: lossless, alpha kept, so frames go through exactly.
struct OutputKind {
    ClipFormat format;
    const char* muxer;
    const char* encoder;
};

// clang-format off
constexpr OutputKind kOutputKinds[] = {
    {kClipMp4, "mp4", "libx264"},
    {kClipMov, "mov", "libx264"},
    {kClipMkv, "matroska", "ffv1"},
    {kClipGif, "gif", "gif"},
    {kClipWebm, "webm", "libvpx-vp9"},
    {kClipY4m, "yuv4mpegpipe", "wrapped_avframe"},
    {kClipNut, "nut", "ffv1"},
    {kClipRawVideo, "rawvideo", "rawvideo"},
    {kClipPngStream, "image2pipe", "png"},
    {kClipJpeg, "image2", "mjpeg"},
    {kClipWebp, "image2", "libwebp"},
    {kClipTiff, "image2", "tiff"},
};
// clang-format on

const OutputKind& KindOf(ClipFormat format) {
    for (const OutputKind& kind : kOutputKinds)
        if (kind.format == format) return kind;
    return kOutputKinds[0];
}

// The pixel format when -pix_fmt names none: 4:2:0 for the delivery codecs
// (what players take; 4:4:4 where H.264 cannot have it), else what FFmpeg
// picks for BGRA frames among the encoder's own.
AVPixelFormat DefaultPixels(const ClipWriterState& s, const AVCodec* codec, int32_t width, int32_t height,
                            std::vector<std::string>& notes) {
    const std::string name = codec->name;
    const bool even = width % 2 == 0 && height % 2 == 0;
    if (name == "ffv1" || name == "rawvideo") return AV_PIX_FMT_BGRA;
    if (name == "gif") return AV_PIX_FMT_RGB8;
    if (name == "png") return AV_PIX_FMT_RGBA;
    if (name == "libvpx-vp9" || name == "libvpx") return AV_PIX_FMT_YUV420P;  // any size
    if (name == "prores_ks" || name == "prores" || name == "prores_aw") return AV_PIX_FMT_YUV422P10LE;
    if (name == "libx264" || name == "libx265" || name == "wrapped_avframe") {
        if (even) return AV_PIX_FMT_YUV420P;
        const char* what = codec->id == AV_CODEC_ID_H264 ? "H.264" : codec->id == AV_CODEC_ID_HEVC ? "H.265" : "y4m";
        notes.push_back(Quoted(s.path) + " is " + std::to_string(width) + " x " + std::to_string(height) + ": " + what +
                        " in 4:2:0 (yuv420p) needs an even width and height, so it is written in 4:4:4 "
                        "(yuv444p), which some players do not play");
        return AV_PIX_FMT_YUV444P;
    }
    if (codec->pix_fmts == nullptr) return AV_PIX_FMT_BGRA;
    int loss = 0;
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_BGRA, 1, &loss);
}

bool CodecTakes(const AVCodec* codec, AVPixelFormat pixels) {
    if (codec->pix_fmts == nullptr) return true;
    for (const AVPixelFormat* format = codec->pix_fmts; *format != AV_PIX_FMT_NONE; ++format)
        if (*format == pixels) return true;
    return false;
}

std::string PixelFormatList(const AVCodec* codec) {
    std::string list;
    for (const AVPixelFormat* format = codec->pix_fmts; format && *format != AV_PIX_FMT_NONE; ++format)
        list += (list.empty() ? "" : ", ") + std::string(av_get_pix_fmt_name(*format));
    return list;
}

MediaCode ChooseEncoder(ClipWriterState& s, int32_t width, int32_t height, EncoderChoice& choice,
                        std::vector<std::string>& notes, std::string& message) {
    const EncoderSettings& asked = s.options.encoder;
    const std::string name = asked.videoCodec.empty() ? KindOf(s.format).encoder : asked.videoCodec;
    choice.codec = avcodec_find_encoder_by_name(name.c_str());
    if (choice.codec == nullptr && asked.videoCodec.empty() && name == "libx264")
        choice.codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);  // a build without x264
    if (choice.codec == nullptr || choice.codec->type != AVMEDIA_TYPE_VIDEO) {
        message = CannotWriteMessage(s.path, "this build of FFmpeg has no video encoder '" + name + "'");
        return kMediaUnsupported;
    }
    if (asked.pixelFormat.empty()) {
        choice.pixels = DefaultPixels(s, choice.codec, width, height, notes);
    } else if ((choice.pixels = av_get_pix_fmt(asked.pixelFormat.c_str())) == AV_PIX_FMT_NONE) {
        message = CannotWriteMessage(s.path, "no pixel format is called '" + asked.pixelFormat + "'");
        return kMediaBadArgument;
    }
    if (!CodecTakes(choice.codec, choice.pixels)) {
        message = CannotWriteMessage(s.path, std::string("the encoder '") + choice.codec->name + "' takes no " +
                                                 av_get_pix_fmt_name(choice.pixels) + "; it takes " +
                                                 PixelFormatList(choice.codec));
        return kMediaBadArgument;
    }
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(choice.pixels);
    const bool even = width % 2 == 0 && height % 2 == 0;
    if (choice.codec->id == AV_CODEC_ID_MPEG4 && !even) {
        message = CannotWriteMessage(s.path, "this encoder needs an even width and height (" + std::to_string(width) +
                                                 " x " + std::to_string(height) + "); use .mkv");
        return kMediaUnsupported;
    }
    if (layout && (layout->log2_chroma_w || layout->log2_chroma_h) && !even && choice.codec->id == AV_CODEC_ID_H264) {
        message = CannotWriteMessage(s.path, std::string(av_get_pix_fmt_name(choice.pixels)) +
                                                 " needs an even width and height for H.264 (" + std::to_string(width) +
                                                 " x " + std::to_string(height) + ")");
        return kMediaBadArgument;
    }
    return kMediaOk;
}

// One FFV1 encoder already encodes its slices (4 at these settings) on
// threads of its own, so further encoders only pay on cores beyond those.
// Each clears a packet buffer for its worst case when it encodes its first
// frame: about 157 bytes per pixel of BGRA (326 MB for 1080p), which costs
// as much as encoding several frames, most of it the system's clearing of
// fresh pages. So an encoder of its own is started only for a clip long
// enough to keep it busy, and only while the buffers fit in memory.
constexpr int32_t kThreadsPerEncoder = 4;
constexpr int64_t kEncoderBufferBytesPerPixel = 160;
constexpr int64_t kEncoderBuffersMostBytes = int64_t{2} << 30;
constexpr int32_t kFramesPerEncoder = 25;

int32_t EncodersFor(const ClipWriterState& s, int32_t width, int32_t height) {
    const int64_t fitting = kEncoderBuffersMostBytes / (kEncoderBufferBytesPerPixel * int64_t{width} * height);
    int64_t count = std::min<int64_t>(s.encoderThreads / kThreadsPerEncoder, fitting);
    if (s.frameCount > 0) count = std::min<int64_t>(count, s.frameCount / kFramesPerEncoder);
    return int32_t(std::max<int64_t>(count, 1));
}

// True when every frame the codec gives is a key frame that owes nothing to
// any other frame, as we set it up: then several encoders with the same
// settings give, frame by frame, the very packets of one.
bool IsIntraOnly(const EncoderChoice& choice) { return choice.codec->id == AV_CODEC_ID_FFV1; }

// The matrix YUV output is converted with: the source's, or for RGB
// sources BT.601, as FFmpeg converts RGB.
AVColorSpace OutputMatrix(const ClipColour& colour) {
    return colour.matrix == AVCOL_SPC_UNSPECIFIED || colour.matrix == AVCOL_SPC_RGB ? AVCOL_SPC_SMPTE170M
                                                                                    : AVColorSpace(colour.matrix);
}

bool IsYuvOutput(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && !(descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) &&
           descriptor->nb_components >= 3;
}

// The "J" formats of JPEG are full range whatever the tag says.
bool IsFullRangeFormat(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

void SetUpEncoder(const ClipWriterState& s, AVCodecContext* e, const EncoderChoice& choice, int32_t width,
                  int32_t height, bool globalHeader, int threads) {
    e->width = width;
    e->height = height;
    e->pix_fmt = choice.pixels;
    e->time_base = s.timeBase;
    e->framerate = s.rate;
    e->thread_count = threads;
    if (IsYuvOutput(choice.pixels)) {
        // Tagged, so that players and our reader use the matrix we converted with.
        e->color_range = s.options.colour.range == AVCOL_RANGE_JPEG || IsFullRangeFormat(choice.pixels)
                             ? AVCOL_RANGE_JPEG
                             : AVCOL_RANGE_MPEG;
        e->colorspace = OutputMatrix(s.options.colour);
        e->color_primaries = AVColorPrimaries(s.options.colour.primaries);
        e->color_trc = AVColorTransferCharacteristic(s.options.colour.transfer);
    }
    if (choice.codec->id == AV_CODEC_ID_MPEG4) {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * 3;
    } else if (choice.codec->id == AV_CODEC_ID_FFV1) {
        e->level = 3;     // sliced, so it encodes and decodes on every core
        e->gop_size = 1;  // every frame a key frame: seeking stays cheap, and IsIntraOnly holds
        av_opt_set_int(e->priv_data, "slicecrc", 1, 0);
    }
    if (globalHeader) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

// -crf, -preset, -b:v and the options passed through, as FFmpeg's command
// line hands them to the encoder: what it does not know is left over.
AVDictionary* EncoderDictionary(const EncoderSettings& asked) {
    AVDictionary* settings = nullptr;
    if (!asked.crf.empty()) av_dict_set(&settings, "crf", asked.crf.c_str(), 0);
    if (!asked.preset.empty()) av_dict_set(&settings, "preset", asked.preset.c_str(), 0);
    if (!asked.bitRate.empty()) av_dict_set(&settings, "b", asked.bitRate.c_str(), 0);
    for (const auto& [key, value] : asked.options) av_dict_set(&settings, key.c_str(), value.c_str(), 0);
    return settings;
}

// Opens `count` encoders with the same settings, each with a picture to
// fill. One encoder runs as many threads as the codec likes; several share
// the cores.
MediaCode OpenLanes(ClipWriterState& s, const EncoderChoice& choice, int32_t count, int32_t width, int32_t height,
                    std::string& message) {
    s.lanes.resize(size_t(count));
    for (EncoderLane& lane : s.lanes) {
        lane.encoder = avcodec_alloc_context3(choice.codec);
        KeepFfmpegDetail(lane.encoder, &s.detail);
        for (AVFrame*& picture : lane.pictures) {
            picture = av_frame_alloc();
            if (picture) {
                picture->format = choice.pixels;
                picture->width = width;
                picture->height = height;
            }
        }
        if (!lane.encoder || !lane.pictures[0] || !lane.pictures[1]) {
            message = CannotWriteMessage(s.path, "out of memory");
            return kMediaCannotWrite;
        }
        SetUpEncoder(s, lane.encoder, choice, width, height, s.muxer->oformat->flags & AVFMT_GLOBALHEADER,
                     count == 1 ? 0 : kThreadsPerEncoder);
        AVDictionary* settings = EncoderDictionary(s.options.encoder);
        int error = avcodec_open2(lane.encoder, choice.codec, &settings);
        const AVDictionaryEntry* unused = av_dict_get(settings, "", nullptr, AV_DICT_IGNORE_SUFFIX);
        const std::string unknown = unused ? unused->key : "";
        av_dict_free(&settings);
        if (error < 0) {
            message =
                CannotWriteMessage(s.path, "the encoder refused the settings: " + FfmpegErrorText(error, s.detail));
            return kMediaEncodeFailed;
        }
        if (!unknown.empty()) {
            message = CannotWriteMessage(s.path, std::string("the encoder '") + choice.codec->name +
                                                     "' has no option '" + unknown + "'");
            return kMediaBadArgument;
        }
    }
    return kMediaOk;
}

// The lane's next picture, ready to be filled: a buffer of its own is made
// only while the encoder still holds the last one (or for the first frames).
int TakePicture(EncoderLane& lane) {
    lane.picture = lane.picture == lane.pictures[0] ? lane.pictures[1] : lane.pictures[0];
    AVFrame* p = lane.picture;
    if (p->buf[0] && av_frame_is_writable(p)) return 0;
    const int format = p->format, width = p->width, height = p->height;
    av_frame_unref(p);  // the encoder keeps its own reference
    p->format = format;
    p->width = width;
    p->height = height;
    return av_frame_get_buffer(p, 0);
}

// The stream's header is the first encoder's; every other must match it.
bool LanesAgree(const ClipWriterState& s) {
    const AVCodecContext* first = s.lanes[0].encoder;
    for (const EncoderLane& lane : s.lanes) {
        const AVCodecContext* e = lane.encoder;
        if (e->extradata_size != first->extradata_size ||
            (e->extradata_size > 0 && std::memcmp(e->extradata, first->extradata, size_t(e->extradata_size)) != 0))
            return false;
    }
    return true;
}

MediaCode OpenEncoders(ClipWriterState& s, const EncoderChoice& choice, int32_t width, int32_t height,
                       std::string& message) {
    const int32_t count = IsIntraOnly(choice) ? EncodersFor(s, width, height) : 1;
    MediaCode result = OpenLanes(s, choice, count, width, height, message);
    if (result == kMediaOk && !LanesAgree(s)) {
        // Never seen; but a stream must have one header, so one encoder it is.
        FreeLanes(s);
        result = OpenLanes(s, choice, 1, width, height, message);
    }
    return result;
}

MediaCode OpenScaler(ClipWriterState& s, const EncoderChoice& choice, int32_t width, int32_t height,
                     std::string& message) {
    if (choice.pixels == AV_PIX_FMT_BGRA) return kMediaOk;
    s.scaler = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, choice.pixels, SWS_AREA | SWS_ACCURATE_RND,
                              nullptr, nullptr, nullptr);
    if (!s.scaler) {
        message = CannotWriteMessage(s.path, "frames cannot be converted for this encoder");
        return kMediaUnsupported;
    }
    const AVCodecContext* encoder = s.lanes[0].encoder;
    if (IsYuvOutput(choice.pixels)) {
        int* inverse = nullptr;
        int* table = nullptr;
        int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
        sws_getColorspaceDetails(s.scaler, &inverse, &sourceRange, &table, &destinationRange, &brightness, &contrast,
                                 &saturation);
        sws_setColorspaceDetails(s.scaler, inverse, sourceRange, sws_getCoefficients(encoder->colorspace),
                                 encoder->color_range == AVCOL_RANGE_JPEG, brightness, contrast, saturation);
    }
    return kMediaOk;
}

MediaCode OpenContainer(ClipWriterState& s, int32_t width, int32_t height, std::vector<std::string>& notes,
                        std::string& message) {
    // Standard output is written as it goes; a file appears when complete.
    if (!s.toStandardOutput) s.output = StageOutput(s.path, s.replace);
    const std::string target = s.toStandardOutput ? "pipe:1" : s.output.temporary;
    int error = avformat_alloc_output_context2(&s.muxer, nullptr, KindOf(s.format).muxer, target.c_str());
    if (error < 0 || !s.muxer) {
        message = CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail));
        return kMediaUnsupported;
    }
    KeepFfmpegDetail(s.muxer, &s.detail);
    // One picture in a file of its own name, not a numbered sequence.
    if (std::strcmp(s.muxer->oformat->name, "image2") == 0) av_opt_set_int(s.muxer->priv_data, "update", 1, 0);
    error = avio_open(&s.muxer->pb, target.c_str(), AVIO_FLAG_WRITE);
    if (error < 0) {
        message = CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail));
        return kMediaCannotWrite;
    }
    EncoderChoice choice;
    MediaCode result = ChooseEncoder(s, width, height, choice, notes, message);
    if (result != kMediaOk) return result;

    s.packet = av_packet_alloc();
    s.stream = avformat_new_stream(s.muxer, nullptr);
    if (!s.packet || !s.stream) {
        message = CannotWriteMessage(s.path, "out of memory");
        return kMediaCannotWrite;
    }
    if ((result = OpenEncoders(s, choice, width, height, message)) != kMediaOk) return result;
    error = avcodec_parameters_from_context(s.stream->codecpar, s.lanes[0].encoder);
    s.stream->time_base = s.lanes[0].encoder->time_base;
    s.stream->avg_frame_rate = s.rate;
    if (error >= 0 && (result = OpenCarriedStreams(s.carried, s.options.carry, s.path, s.muxer, s.stream, notes,
                                                   s.detail, message)) != kMediaOk)
        return result;
    AVDictionary* options = nullptr;
    // The index goes first, so the clip plays while it downloads.
    if (s.format == kClipMp4 || s.format == kClipMov) av_dict_set(&options, "movflags", "+faststart", 0);
    if (error >= 0) error = avformat_write_header(s.muxer, &options);
    s.headerWritten = error >= 0;
    av_dict_free(&options);
    if (error < 0) {
        message = CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail));
        return kMediaCannotWrite;
    }
    return OpenScaler(s, choice, width, height, message);
}

MediaCode MuxPacket(ClipWriterState& s, const EncoderLane& lane, AVPacket* packet, std::string& message) {
    // The frame's own duration; the last one (a GIF's last delay) needs it.
    if (const auto known = s.durations.find(packet->pts); known != s.durations.end()) {
        if (packet->duration == 0) packet->duration = known->second;
        s.durations.erase(known);
    }
    if (packet->duration == 0) packet->duration = s.step;
    av_packet_rescale_ts(packet, lane.encoder->time_base, s.stream->time_base);
    packet->stream_index = s.stream->index;
    const int error = av_interleaved_write_frame(s.muxer, packet);
    if (error < 0)
        return Fail(s, kMediaCannotWrite, CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail)), message);
    return kMediaOk;
}

// Sends one frame (or, for nullptr, the end) to the lane's encoder and muxes
// every packet it gives back.
// `stop` is asked between packets: the end of a clip may hold many.
MediaCode EncodeAndMux(ClipWriterState& s, EncoderLane& lane, AVFrame* picture, std::string& message,
                       StopProbe stop = nullptr) {
    int error = avcodec_send_frame(lane.encoder, picture);
    if (error < 0)
        return Fail(s, kMediaEncodeFailed, CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail)), message);
    for (;;) {
        if (stop && stop()) return Fail(s, kMediaInterrupted, CannotWriteMessage(s.path, "interrupted"), message);
        error = avcodec_receive_packet(lane.encoder, s.packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return kMediaOk;
        if (error < 0)
            return Fail(s, kMediaEncodeFailed, CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail)), message);
        if (MediaCode muxed = MuxPacket(s, lane, s.packet, message); muxed != kMediaOk) return muxed;
    }
}

// On a lane's own thread: encodes its picture and keeps the packets.
void EncodeOnLane(EncoderLane& lane) {
    lane.error = avcodec_send_frame(lane.encoder, lane.picture);
    while (lane.error >= 0) {
        AVPacket* packet = av_packet_alloc();
        if (!packet) {
            lane.error = AVERROR(ENOMEM);
            return;
        }
        lane.error = avcodec_receive_packet(lane.encoder, packet);
        if (lane.error < 0) {
            av_packet_free(&packet);
            if (lane.error == AVERROR(EAGAIN)) lane.error = 0;
            return;
        }
        lane.packets.push_back(packet);
    }
}

// Waits for the oldest frame being encoded and muxes its packets.
MediaCode MuxOldestLane(ClipWriterState& s, std::string& message) {
    const int32_t count = int32_t(s.lanes.size());
    const int32_t next = int32_t(s.framesSent % count);
    EncoderLane& lane = s.lanes[size_t((next - s.lanesBusy + count) % count)];
    --s.lanesBusy;
    JoinWorkerThread(lane.thread);
    MediaCode result = lane.error < 0 ? Fail(s, kMediaEncodeFailed,
                                             CannotWriteMessage(s.path, FfmpegErrorText(lane.error, s.detail)), message)
                                      : kMediaOk;
    for (size_t i = 0; result == kMediaOk && i < lane.packets.size(); ++i)
        result = MuxPacket(s, lane, lane.packets[i], message);
    FreePackets(lane);
    return result;
}

// The frame's pts: its own timestamp where it has one that comes after the
// last frame's, else one step of the rate after the last.
int64_t PlaceFrame(ClipWriterState& s, const Frame& frame) {
    const bool first = s.lastPts == INT64_MIN;
    int64_t pts = first ? 0 : s.lastPts + s.step;
    if (s.keepsTimestamps && frame.timestamp != kNoTimestamp) {
        if (first) {
            s.shift = s.options.cutToFrames ? frame.timestamp - s.options.firstTimestamp : 0;
            if (s.options.cutToFrames) {
                s.carried.startMicros = av_rescale_q(frame.timestamp, s.timeBase, AV_TIME_BASE_Q);
                s.carried.shiftMicros = av_rescale_q(s.shift, s.timeBase, AV_TIME_BASE_Q);
            }
        }
        if (first || frame.timestamp - s.shift > s.lastPts) pts = frame.timestamp - s.shift;
    }
    const int64_t duration = s.keepsTimestamps && frame.duration > 0 ? frame.duration : s.step;
    s.durations[pts] = duration;
    s.lastPts = pts;
    s.endMicros = av_rescale_q(pts + s.shift + duration, s.timeBase, AV_TIME_BASE_Q);
    return pts;
}

MediaCode WriteContainerFrame(ClipWriterState& s, const Frame& frame, std::string& message) {
    const bool parallel = s.lanes.size() > 1;
    EncoderLane& lane = s.lanes[size_t(s.framesSent % int64_t(s.lanes.size()))];
    if (parallel && s.lanesBusy == int32_t(s.lanes.size())) {
        if (MediaCode muxed = MuxOldestLane(s, message); muxed != kMediaOk) return muxed;  // this very lane
    }
    const int error = TakePicture(lane);
    if (error < 0)
        return Fail(s, kMediaCannotWrite, CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail)), message);
    if (s.scaler) {
        const uint8_t* source[4] = {frame.pixels.data(), nullptr, nullptr, nullptr};
        int sourceStride[4] = {frame.rowBytes, 0, 0, 0};
        sws_scale(s.scaler, source, sourceStride, 0, frame.height, lane.picture->data, lane.picture->linesize);
    } else {
        for (int32_t y = 0; y < frame.height; ++y)
            std::memcpy(lane.picture->data[0] + size_t(y) * size_t(lane.picture->linesize[0]), FramePixel(frame, 0, y),
                        size_t(frame.width) * 4);
    }
    lane.picture->pts = PlaceFrame(s, frame);
    ++s.framesSent;
    const int64_t until = av_rescale_q(lane.picture->pts + s.shift, s.timeBase, AV_TIME_BASE_Q);
    if (MediaCode carried = CarryPacketsUntil(s.carried, s.muxer, until, s.detail, message); carried != kMediaOk)
        return Fail(s, carried, message, message);
    if (!parallel) return EncodeAndMux(s, lane, lane.picture, message);
    std::string refused;
    if (!StartWorkerThread(
            lane.thread, [&lane] { EncodeOnLane(lane); }, refused))
        return Fail(s, kMediaCannotWrite, CannotWriteMessage(s.path, refused), message);
    ++s.lanesBusy;
    return kMediaOk;
}

MediaCode CompleteContainer(ClipWriterState& s, std::string& message, StopProbe stop) {
    while (s.lanesBusy > 0) {
        if (MediaCode muxed = MuxOldestLane(s, message); muxed != kMediaOk) return muxed;
        if (stop && stop()) return Fail(s, kMediaInterrupted, CannotWriteMessage(s.path, "interrupted"), message);
    }
    // Intra-only lanes hold nothing back; each is flushed all the same.
    for (EncoderLane& lane : s.lanes)
        if (MediaCode result = EncodeAndMux(s, lane, nullptr, message, stop); result != kMediaOk) return result;
    const int64_t carryEnd = s.options.cutToFrames ? s.endMicros : INT64_MAX;
    if (MediaCode carried = CarryPacketsUntil(s.carried, s.muxer, carryEnd, s.detail, message); carried != kMediaOk)
        return Fail(s, carried, message, message);
    if (MediaCode flushed = FlushCarriedStreams(s.carried, s.muxer, s.detail, message); flushed != kMediaOk)
        return Fail(s, flushed, message, message);
    int error = av_write_trailer(s.muxer);
    s.headerWritten = false;
    if (error >= 0) {
        avio_flush(s.muxer->pb);
        error = s.muxer->pb->error;  // a full disk shows here at the latest
    }
    if (error >= 0) error = avio_closep(&s.muxer->pb);
    if (error < 0)
        return Fail(s, kMediaCannotWrite, CannotWriteMessage(s.path, FfmpegErrorText(error, s.detail)), message);
    FreeEncoder(s);
    return kMediaOk;
}

MediaCode CommitContainer(ClipWriterState& s, std::string& message) {
    if (s.toStandardOutput) return kMediaOk;  // written as it went
    MediaCode result = CommitOutput(s.output, message);
    s.output.temporary.clear();  // committed, or already removed by CommitOutput
    return result;
}

MediaCode OpenPattern(ClipWriterState& s, std::string& message) {
    // Creating and removing the first frame's temporary proves the folder
    // is writable before any rendering starts.
    std::string problem;
    if (!ParseFramePattern(s.path, &s.pattern, &problem)) {
        message = CannotWriteMessage(s.path, problem);
        return kMediaUnsupported;
    }
    std::string first = FrameFileName(s.pattern, 0);
    std::string probe = TemporaryNameFor(first);
    FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) {
        message = CannotWriteMessage(first, ErrnoText(errno));
        return kMediaCannotWrite;
    }
    std::fclose(file);
    DiscardOutput(probe);
    return kMediaOk;
}

// PNG encoding is the slow part of a pattern and every frame is a file of
// its own, so frames are encoded on encoderThreads threads at once; a
// failure shows at a later frame or at the finish.
MediaCode WritePatternFrame(ClipWriterState& s, int32_t index, const Frame& frame, std::string& message) {
    if (s.pngJobs.size() >= size_t(s.encoderThreads)) {
        const MediaCode result = FinishOldestPng(s, message);
        if (result != kMediaOk) return Fail(s, result, message, message);
    }
    auto job = std::make_unique<ClipWriterState::PngJob>();
    if (!s.spareFrames.empty()) {
        job->frame = std::move(s.spareFrames.back());
        s.spareFrames.pop_back();
    }
    job->frame = frame;
    const StagedOutput staged = StageOutput(FrameFileName(s.pattern, index), s.replace);
    job->name = staged.name;
    job->temporary = staged.temporary;
    // The file is made here, so a frame that cannot be written fails now
    // and the temporary exists as soon as the frame is taken.
    FILE* file = std::fopen(job->temporary.c_str(), "wb");
    if (!file) return Fail(s, kMediaCannotWrite, CannotWriteMessage(job->name, ErrnoText(errno)), message);
    std::fclose(file);
    s.frameOutputs.push_back(staged);
    ClipWriterState::PngJob* work = job.get();
    std::string refused;
    const bool started = StartWorkerThread(
        work->thread,
        [work] {
            work->result = EncodePngFile(work->temporary.c_str(), work->name.c_str(), work->frame, work->message,
                                         nullptr, kPngFast);
        },
        refused);
    if (!started) return Fail(s, kMediaCannotWrite, CannotWriteMessage(job->name, refused), message);
    s.pngJobs.push_back(std::move(job));
    return kMediaOk;
}

MediaCode CommitPattern(ClipWriterState& s, std::string& message) {
    if (MediaCode result = FinishAllPngs(s, message); result != kMediaOk) return Fail(s, result, message, message);
    for (size_t i = 0; i < s.frameOutputs.size(); ++i) {
        MediaCode result = CommitOutput(s.frameOutputs[i], message);
        if (result != kMediaOk) {
            // Frames already moved into place go too: no partial sequence.
            for (size_t done = 0; done < i; ++done) DiscardOutput(s.frameOutputs[done].target);
            s.frameOutputs.erase(s.frameOutputs.begin(), s.frameOutputs.begin() + long(i) + 1);
            return Fail(s, result, message, message);
        }
    }
    s.frameOutputs.clear();
    return kMediaOk;
}

}  // namespace

MediaCode ClipFormatForPath(const char* path, ClipFormat& format, std::string& message) {
    // clang-format off
    static constexpr struct { const char* extension; ClipFormat format; } kExtensions[] = {
        {".mp4", kClipMp4}, {".mov", kClipMov}, {".mkv", kClipMkv}, {".gif", kClipGif}, {".webm", kClipWebm},
        {".y4m", kClipY4m}, {".nut", kClipNut}, {".jpg", kClipJpeg}, {".jpeg", kClipJpeg}, {".webp", kClipWebp},
        {".tif", kClipTiff}, {".tiff", kClipTiff},
    };
    // clang-format on
    const std::string extension = LowerExtension(path);
    for (const auto& known : kExtensions) {
        if (extension != known.extension) continue;
        format = known.format;
        return kMediaOk;
    }
    if (extension == ".png") {
        FramePattern pattern;
        std::string problem;
        if (!ParseFramePattern(path, &pattern, &problem)) {
            message = CannotWriteMessage(path, problem);
            return kMediaUnsupported;
        }
        format = kClipPngSequence;
        return kMediaOk;
    }
    message = CannotWriteMessage(path, std::string("unknown kind of output; ") + kKindsWeWrite);
    return kMediaUnsupported;
}

bool ClipFormatForName(const std::string& name, ClipFormat& format) {
    // clang-format off
    static constexpr struct { const char* name; ClipFormat format; } kNames[] = {
        {"y4m", kClipY4m}, {"yuv4mpegpipe", kClipY4m}, {"nut", kClipNut}, {"rawvideo", kClipRawVideo},
        {"png", kClipPngStream}, {"image2pipe", kClipPngStream}, {"matroska", kClipMkv}, {"mkv", kClipMkv},
    };
    // clang-format on
    for (const auto& known : kNames) {
        if (name != known.name) continue;
        format = known.format;
        return true;
    }
    return false;
}

bool IsOnePictureFormat(ClipFormat format) { return format == kClipJpeg || format == kClipWebp || format == kClipTiff; }

MediaCode OpenClipWriter(ClipWriter& writer, const char* path, int32_t width, int32_t height, int32_t rateNumerator,
                         int32_t rateDenominator, std::string& message, int32_t encoderThreads, int32_t frameCount,
                         bool replaceExisting) {
    ClipWriterOptions options;
    options.encoderThreads = encoderThreads;
    options.frameCount = frameCount;
    options.replaceExisting = replaceExisting;
    return OpenClipWriter(writer, path, width, height, rateNumerator, rateDenominator, options, message);
}

MediaCode OpenClipWriter(ClipWriter& writer, const char* path, int32_t width, int32_t height, int32_t rateNumerator,
                         int32_t rateDenominator, const ClipWriterOptions& options, std::string& message) {
    CloseClipWriter(writer);
    const bool toStandardOutput = std::strcmp(path, "-") == 0;
    ClipFormat format = options.format;
    MediaCode result = toStandardOutput ? kMediaOk : ClipFormatForPath(path, format, message);
    if (result != kMediaOk) return result;
    if (!FrameSizeFits(width, height)) {
        message = CannotWriteMessage(path, "frames of " + std::to_string(width) + " x " + std::to_string(height) +
                                               " cannot be written");
        return kMediaBadArgument;
    }
    if (rateNumerator < 1 || rateDenominator < 1) {
        message = CannotWriteMessage(path, "the frame rate must be above 0");
        return kMediaBadArgument;
    }
    PrepareFfmpeg();
    auto* s = new ClipWriterState;
    s->path = toStandardOutput ? "standard output" : path;
    s->toStandardOutput = toStandardOutput;
    s->format = format;
    s->options = options;
    s->encoderThreads = options.encoderThreads > 0 ? options.encoderThreads
                                                   : int32_t(std::max(1u, std::thread::hardware_concurrency()));
    s->frameCount = options.frameCount;
    s->replace = options.replaceExisting;
    s->rate = AVRational{rateNumerator, rateDenominator};
    s->keepsTimestamps = options.timeBaseNumerator > 0 && options.timeBaseDenominator > 0;
    s->timeBase = s->keepsTimestamps ? AVRational{options.timeBaseNumerator, options.timeBaseDenominator}
                                     : AVRational{rateDenominator, rateNumerator};
    s->step = std::max<int64_t>(1, av_rescale_q(1, AVRational{rateDenominator, rateNumerator}, s->timeBase));
    std::vector<std::string> notes;
    result = format == kClipPngSequence ? OpenPattern(*s, message) : OpenContainer(*s, width, height, notes, message);
    if (result != kMediaOk) {
        RemoveEverything(*s);
        delete s;
        return result;
    }
    writer.width = width;
    writer.height = height;
    writer.encoders = format == kClipPngSequence ? s->encoderThreads : int32_t(s->lanes.size());
    writer.format = format;
    writer.notes = std::move(notes);
    writer.state = s;
    return kMediaOk;
}

MediaCode WriteClipFrame(ClipWriter& writer, const Frame& frame, std::string& message) {
    if (!writer.state) {
        message = "no clip is being written";
        return kMediaBadArgument;
    }
    ClipWriterState& s = *writer.state;
    if (s.failure != kMediaOk) {
        message = s.failureMessage;
        return s.failure;
    }
    if (!FrameIsWhole(frame) || frame.width != writer.width || frame.height != writer.height) {
        return Fail(s, kMediaBadArgument,
                    CannotWriteMessage(s.path, "a frame of " + std::to_string(frame.width) + " x " +
                                                   std::to_string(frame.height) + " does not fit a clip of " +
                                                   std::to_string(writer.width) + " x " +
                                                   std::to_string(writer.height)),
                    message);
    }
    ForgetFfmpegDetail(s.detail);
    MediaCode result = s.format == kClipPngSequence ? WritePatternFrame(s, writer.framesWritten, frame, message)
                                                    : WriteContainerFrame(s, frame, message);
    if (result == kMediaOk) ++writer.framesWritten;
    return result;
}

MediaCode CompleteClipWriter(ClipWriter& writer, std::string& message, StopProbe stop) {
    if (!writer.state) {
        message = "no clip is being written";
        return kMediaBadArgument;
    }
    ClipWriterState& s = *writer.state;
    if (s.failure != kMediaOk) {
        message = s.failureMessage;
        return s.failure;
    }
    if (writer.framesWritten == 0)
        return Fail(s, kMediaBadArgument, CannotWriteMessage(s.path, "the clip has no frames"), message);
    if (s.completed) return kMediaOk;
    ForgetFfmpegDetail(s.detail);
    const MediaCode result = s.format == kClipPngSequence ? kMediaOk : CompleteContainer(s, message, stop);
    s.completed = result == kMediaOk;
    return result;
}

MediaCode FinishClipWriter(ClipWriter& writer, std::string& message) {
    MediaCode result = CompleteClipWriter(writer, message);
    if (result == kMediaOk) {
        ClipWriterState& s = *writer.state;
        result = s.format == kClipPngSequence ? CommitPattern(s, message) : CommitContainer(s, message);
    }
    CloseClipWriter(writer);
    return result;
}

void CloseClipWriter(ClipWriter& writer) {
    if (writer.state) {
        RemoveEverything(*writer.state);
        delete writer.state;
    }
    writer = ClipWriter{};
}
