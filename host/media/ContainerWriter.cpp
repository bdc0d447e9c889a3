// Writes a clip into a container through FFmpeg: encoders, muxer, and the
// streams carried from the input.
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "ClipWriterKinds.h"
#include "FfmpegSupport.h"
#include "MediaResult.h"
#include "OutputFile.h"
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

// A container output: one video stream encoded by one or more lanes, the
// carried streams muxed between its packets.
struct ContainerWriter final : ClipWriterState {
    ~ContainerWriter() override;
    MediaCode Write(const Frame& frame, int32_t index, std::string& message) override;
    MediaCode Complete(std::string& message, StopProbe stop) override;
    MediaCode Commit(std::string& message) override;
    int32_t Encoders() const override { return int32_t(lanes.size()); }

    ClipFormat format = kClipMkv;
    bool replace = true;            // an existing output may be replaced (-y)
    bool toStandardOutput = false;  // written as it goes, to file descriptor 1

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

    int32_t encoderThreads = 1;  // threads the encoding may use
    int32_t frameCount = 0;      // the frames the clip will have; 0: not known

    FfmpegDetail detail;  // what FFmpeg logged about the muxer and the encoders
};

namespace {

void FreePackets(EncoderLane& lane) {
    for (AVPacket*& packet : lane.packets) av_packet_free(&packet);
    lane.packets.clear();
}

void FreeLanes(ContainerWriter& s) {
    for (EncoderLane& lane : s.lanes) {
        JoinWorkerThread(lane.thread);
        FreePackets(lane);
        avcodec_free_context(&lane.encoder);
        for (AVFrame*& picture : lane.pictures) av_frame_free(&picture);
    }
    s.lanes.clear();
    s.lanesBusy = 0;
}

void FreeEncoder(ContainerWriter& s) {
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
AVPixelFormat DefaultPixels(const ContainerWriter& s, const AVCodec* codec, int32_t width, int32_t height,
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

MediaCode ChooseEncoder(ContainerWriter& s, int32_t width, int32_t height, EncoderChoice& choice,
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

int32_t EncodersFor(const ContainerWriter& s, int32_t width, int32_t height) {
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

void SetUpEncoder(const ContainerWriter& s, AVCodecContext* e, const EncoderChoice& choice, int32_t width,
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
MediaCode OpenLanes(ContainerWriter& s, const EncoderChoice& choice, int32_t count, int32_t width, int32_t height,
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
bool LanesAgree(const ContainerWriter& s) {
    const AVCodecContext* first = s.lanes[0].encoder;
    for (const EncoderLane& lane : s.lanes) {
        const AVCodecContext* e = lane.encoder;
        if (e->extradata_size != first->extradata_size ||
            (e->extradata_size > 0 && std::memcmp(e->extradata, first->extradata, size_t(e->extradata_size)) != 0))
            return false;
    }
    return true;
}

MediaCode OpenEncoders(ContainerWriter& s, const EncoderChoice& choice, int32_t width, int32_t height,
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

MediaCode OpenScaler(ContainerWriter& s, const EncoderChoice& choice, int32_t width, int32_t height,
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

MediaCode OpenContainer(ContainerWriter& s, int32_t width, int32_t height, std::vector<std::string>& notes,
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

MediaCode MuxPacket(ContainerWriter& s, const EncoderLane& lane, AVPacket* packet, std::string& message) {
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
MediaCode EncodeAndMux(ContainerWriter& s, EncoderLane& lane, AVFrame* picture, std::string& message,
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
MediaCode MuxOldestLane(ContainerWriter& s, std::string& message) {
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
int64_t PlaceFrame(ContainerWriter& s, const Frame& frame) {
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

MediaCode WriteContainerFrame(ContainerWriter& s, const Frame& frame, std::string& message) {
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

MediaCode CompleteContainer(ContainerWriter& s, std::string& message, StopProbe stop) {
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

MediaCode CommitContainer(ContainerWriter& s, std::string& message) {
    if (s.toStandardOutput) return kMediaOk;  // written as it went
    MediaCode result = CommitOutput(s.output, message);
    s.output.temporary.clear();  // committed, or already removed by CommitOutput
    return result;
}

}  // namespace

ContainerWriter::~ContainerWriter() {
    FreeEncoder(*this);
    if (!output.temporary.empty()) DiscardOutput(output.temporary);
}

MediaCode ContainerWriter::Write(const Frame& frame, int32_t, std::string& message) {
    ForgetFfmpegDetail(detail);
    return WriteContainerFrame(*this, frame, message);
}

MediaCode ContainerWriter::Complete(std::string& message, StopProbe stop) {
    ForgetFfmpegDetail(detail);
    return CompleteContainer(*this, message, stop);
}

MediaCode ContainerWriter::Commit(std::string& message) { return CommitContainer(*this, message); }

MediaCode OpenContainerWriter(const WriterSetup& setup, ClipWriterHandle& writer, std::vector<std::string>& notes,
                              std::string& message) {
    ClipWriterHandle handle(new ContainerWriter);
    auto& s = static_cast<ContainerWriter&>(*handle);
    s.path = setup.path;
    s.toStandardOutput = setup.toStandardOutput;
    s.format = setup.format;
    s.options = setup.options;
    s.encoderThreads = setup.encoderThreads;
    s.frameCount = setup.options.frameCount;
    s.replace = setup.options.replaceExisting;
    s.rate = AVRational{setup.rateNumerator, setup.rateDenominator};
    s.keepsTimestamps = setup.options.timeBaseNumerator > 0 && setup.options.timeBaseDenominator > 0;
    s.timeBase = s.keepsTimestamps ? AVRational{setup.options.timeBaseNumerator, setup.options.timeBaseDenominator}
                                   : AVRational{setup.rateDenominator, setup.rateNumerator};
    s.step = std::max<int64_t>(1, av_rescale_q(1, AVRational{setup.rateDenominator, setup.rateNumerator}, s.timeBase));
    const MediaCode result = OpenContainer(s, setup.width, setup.height, notes, message);
    if (result == kMediaOk) writer = std::move(handle);
    return result;  // a failed one goes with `handle`, and its files with it
}
