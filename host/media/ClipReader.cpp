#include "ClipReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "FfmpegSupport.h"
#include "MediaResult.h"
#include "Png.h"

namespace {

struct CachedFrame {
    int32_t index = -1;
    uint64_t lastUse = 0;
    Frame frame;
};

}  // namespace

struct ClipReaderState {
    std::string path;
    std::string shown;  // the clip as messages name it: 'x.mp4', or standard input
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* decoded = nullptr;   // the frame at decodedIndex, kept whole
    AVFrame* incoming = nullptr;  // the decoder writes here, and clears it on failure
    SwsContext* scaler = nullptr;
    int scalerKey[5] = {};  // source width, height, format, matrix, range
    int streamIndex = -1;
    bool flushing = false;      // the end of input was sent to the decoder
    bool ended = false;         // the decoder has given its last frame
    int32_t decodedIndex = -1;  // index of the frame in `decoded`, -1 for none
    StopProbe stop = nullptr;   // asked by FFmpeg while it waits for input
    uint64_t useClock = 0;
    int64_t contentEnd = INT64_MIN;  // where the last frame read ends, in the stream's time base
    CachedFrame cache[kMostFramesKept];
    FfmpegDetail detail;  // what FFmpeg logged about this clip's contexts
};

namespace {

void CloseDecoder(ClipReaderState& s) {
    avcodec_free_context(&s.codec);
    avformat_close_input(&s.format);
    av_packet_free(&s.packet);
    av_frame_free(&s.decoded);
    av_frame_free(&s.incoming);
    s.streamIndex = -1;
    s.flushing = false;
    s.ended = false;
    s.decodedIndex = -1;
}

int AskStop(void* state) {
    const StopProbe stop = static_cast<ClipReaderState*>(state)->stop;
    return stop && stop() ? 1 : 0;
}

// Opens the container and the decoder of its main video stream. A decoder
// meant only for counting skips the work that does not change how many
// frames come out.
MediaCode OpenDecoder(ClipReaderState& s, bool forCounting, std::string& message) {
    ForgetFfmpegDetail(s.detail);
    s.format = avformat_alloc_context();
    KeepFfmpegDetail(s.format, &s.detail);
    if (!s.format) {
        message = s.shown + " cannot be read: out of memory";
        return kMediaTooLarge;
    }
    // Reads and waits inside FFmpeg end when the caller asks to stop.
    s.format->interrupt_callback = AVIOInterruptCB{AskStop, &s};
    // FFmpeg takes a "%" in an image's name for a frame number pattern; a
    // file that really has that name is read as the one file it is.
    const AVInputFormat* forced = nullptr;
    AVDictionary* options = nullptr;
    std::error_code noFile;
    if (s.path.find('%') != std::string::npos && std::filesystem::is_regular_file(s.path, noFile)) {
        if (PngAnimationFrames(s.path.c_str()) > 1)
            forced = av_find_input_format("apng");
        else
            av_dict_set(&options, "pattern_type", "none", 0);
    }
    int error = avformat_open_input(&s.format, s.path.c_str(), forced, &options);
    av_dict_free(&options);
    if (error < 0) {
        if (error == AVERROR_EXIT) {
            message = s.shown + " was not read: interrupted";
            return kMediaInterrupted;
        }
        if (error == AVERROR_INVALIDDATA) {
            message = s.shown + " is not a video or image that can be read";
            return kMediaUnsupported;
        }
        message = "cannot open " + s.shown + ": " + FfmpegErrorText(error, s.detail);
        return kMediaCannotOpen;
    }
    // FFmpeg shows any text file as "ANSI art" video; nobody means that here.
    if (std::strcmp(s.format->iformat->name, "tty") == 0) {
        message = s.shown + " is not a video or image that can be read";
        return kMediaUnsupported;
    }
    error = avformat_find_stream_info(s.format, nullptr);
    if (error < 0) {
        message = s.shown + " cannot be read: " + FfmpegErrorText(error, s.detail);
        return kMediaBadData;
    }
    const AVCodec* decoder = nullptr;
    s.streamIndex = av_find_best_stream(s.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s.streamIndex == AVERROR_DECODER_NOT_FOUND) {
        message = s.shown + " holds video in a format this build cannot decode";
        return kMediaUnsupported;
    }
    if (s.streamIndex < 0) {
        message = s.shown + " holds no video";
        return kMediaUnsupported;
    }
    for (unsigned i = 0; i < s.format->nb_streams; ++i)
        if (int(i) != s.streamIndex) s.format->streams[i]->discard = AVDISCARD_ALL;

    s.codec = avcodec_alloc_context3(decoder);
    KeepFfmpegDetail(s.codec, &s.detail);
    s.packet = av_packet_alloc();
    s.decoded = av_frame_alloc();
    s.incoming = av_frame_alloc();
    if (!s.codec || !s.packet || !s.decoded || !s.incoming) {
        message = s.shown + " cannot be read: out of memory";
        return kMediaTooLarge;
    }
    error = avcodec_parameters_to_context(s.codec, s.format->streams[s.streamIndex]->codecpar);
    if (error >= 0) {
        s.codec->thread_count = 0;  // as many as there are cores
        if (forCounting) {
            s.codec->skip_loop_filter = AVDISCARD_ALL;
            s.codec->skip_idct = AVDISCARD_ALL;
        }
        error = avcodec_open2(s.codec, decoder, nullptr);
    }
    if (error < 0) {
        message = s.shown + " cannot be decoded: " + FfmpegErrorText(error, s.detail);
        return kMediaUnsupported;
    }
    return kMediaOk;
}

void NoteEnd(ClipReaderState& s, int64_t at, int64_t duration) {
    if (at != AV_NOPTS_VALUE) s.contentEnd = std::max(s.contentEnd, at + std::max<int64_t>(duration, 0));
}

// Decodes the next frame into s.decoded. kMediaFrameMissing at the end.
// A damaged packet is passed over as players do, so that one bad frame does
// not end the clip; it then simply yields no frame.
MediaCode DecodeNext(ClipReaderState& s, std::string& message) {
    if (s.ended) return kMediaFrameMissing;
    for (;;) {
        int result = avcodec_receive_frame(s.codec, s.incoming);
        if (result == 0) {
            av_frame_unref(s.decoded);
            av_frame_move_ref(s.decoded, s.incoming);
            ++s.decodedIndex;
            NoteEnd(s, s.decoded->best_effort_timestamp, s.decoded->pkt_duration);
            return kMediaOk;
        }
        if (result == AVERROR_EOF || (result == AVERROR(EAGAIN) && s.flushing)) {
            s.ended = true;
            return kMediaFrameMissing;
        }
        if (result == AVERROR_INVALIDDATA) continue;
        if (result != AVERROR(EAGAIN)) {
            message = s.shown + " cannot be decoded: " + FfmpegErrorText(result, s.detail);
            return kMediaBadData;
        }
        result = av_read_frame(s.format, s.packet);
        if (result < 0) {
            // The end, or input that breaks off: what decoded so far stands.
            avcodec_send_packet(s.codec, nullptr);
            s.flushing = true;
            continue;
        }
        if (s.packet->stream_index != s.streamIndex) {
            av_packet_unref(s.packet);
            continue;
        }
        result = avcodec_send_packet(s.codec, s.packet);
        av_packet_unref(s.packet);
        if (result < 0 && result != AVERROR_INVALIDDATA && result != AVERROR(EAGAIN)) {
            message = s.shown + " cannot be decoded: " + FfmpegErrorText(result, s.detail);
            return kMediaBadData;
        }
    }
}

bool IsYuv(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && !(descriptor->flags & AV_PIX_FMT_FLAG_PAL) &&
           descriptor->nb_components >= 3;
}

// The matrix a YUV frame is read with: its tag, or BT.601 (swscale's
// default, SWS_CS_DEFAULT) where it has none or one swscale does not know.
int MatrixOf(const AVFrame& frame) {
    const int space = frame.colorspace;
    if (space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB || space >= AVCOL_SPC_SMPTE2085)
        return AVCOL_SPC_SMPTE170M;
    return space;
}

int DeepestComponent(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    int bits = 8;
    for (int i = 0; descriptor && i < descriptor->nb_components; ++i) bits = std::max(bits, descriptor->comp[i].depth);
    return bits;
}

// What frame 0 says of the clip's colour: the matrix it is read with, and
// its own tags otherwise. RGB pixels have no matrix.
ClipColour ColourOf(const AVFrame& frame) {
    ClipColour colour;
    colour.matrix = IsYuv(AVPixelFormat(frame.format)) ? MatrixOf(frame) : AVCOL_SPC_UNSPECIFIED;
    colour.range = frame.color_range == AVCOL_RANGE_JPEG ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    colour.primaries = frame.color_primaries;
    colour.transfer = frame.color_trc;
    return colour;
}

// Converts s.decoded into `frame` (already width x height).
MediaCode ConvertDecoded(ClipReaderState& s, Frame& frame, std::string& message) {
    AVFrame* source = s.decoded;
    AVPixelFormat sourceFormat = AVPixelFormat(source->format);
    if (source->width <= 0 || source->height <= 0 || !source->data[0]) {
        message = s.shown + " has a frame that cannot be converted";
        return kMediaBadData;
    }
    // The clip's own matrix and range; untagged clips are read as FFmpeg's
    // scaler reads them, so the tool and FFmpeg agree.
    bool yuv = IsYuv(sourceFormat);
    const int space = MatrixOf(*source);
    int fullRange = source->color_range == AVCOL_RANGE_JPEG;
    int key[5] = {source->width, source->height, sourceFormat, yuv ? space : -1, fullRange};
    if (!s.scaler || std::memcmp(key, s.scalerKey, sizeof key) != 0) {
        sws_freeContext(s.scaler);
        // FFmpeg's own flags: the frames are those our frei0r plug-in gets
        // inside FFmpeg, and the writer's box filter (SWS_AREA) undoes their
        // chroma exactly. Interpolating the chroma (SWS_FULL_CHR_H_INT) or
        // SWS_ACCURATE_RND here costs 3 to 7 dB of chroma on a round trip.
        s.scaler = sws_getContext(source->width, source->height, sourceFormat, frame.width, frame.height,
                                  AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!s.scaler) {
            message = s.shown + " has frames in a pixel format that cannot be converted";
            return kMediaUnsupported;
        }
        if (yuv) {
            int* inverse = nullptr;
            int* table = nullptr;
            int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
            sws_getColorspaceDetails(s.scaler, &inverse, &sourceRange, &table, &destinationRange, &brightness,
                                     &contrast, &saturation);
            // Full-range "yuvj" formats already come with sourceRange set.
            if (fullRange) sourceRange = 1;
            sws_setColorspaceDetails(s.scaler, sws_getCoefficients(space), sourceRange, table, destinationRange,
                                     brightness, contrast, saturation);
        }
        std::memcpy(s.scalerKey, key, sizeof key);
    }
    uint8_t* destination[4] = {frame.pixels.data(), nullptr, nullptr, nullptr};
    int destinationStride[4] = {frame.rowBytes, 0, 0, 0};
    int rows = sws_scale(s.scaler, source->data, source->linesize, 0, source->height, destination, destinationStride);
    if (rows != frame.height) {
        message = s.shown + " has a frame that cannot be converted";
        return kMediaBadData;
    }
    return kMediaOk;
}

CachedFrame* FindCached(ClipReaderState& s, int32_t index) {
    for (CachedFrame& entry : s.cache)
        if (entry.index == index) return &entry;
    return nullptr;
}

// Among the first `kept` entries: the others stay empty.
CachedFrame& LeastRecentlyUsed(ClipReaderState& s, int32_t kept) {
    CachedFrame* oldest = &s.cache[0];
    for (int32_t i = 1; i < std::clamp(kept, 1, kMostFramesKept); ++i)
        if (s.cache[i].lastUse < oldest->lastUse) oldest = &s.cache[i];
    return *oldest;
}

// Decodes forward to `index`, rewinding first when it lies behind.
MediaCode DecodeTo(ClipReaderState& s, int32_t index, std::string& message) {
    if (index < s.decodedIndex) {
        CloseDecoder(s);
        MediaCode result = OpenDecoder(s, false, message);
        if (result != kMediaOk) return result;
    }
    while (s.decodedIndex < index) {
        MediaCode result = DecodeNext(s, message);
        if (result != kMediaOk) return result;
    }
    return kMediaOk;
}

// Codecs that turn every packet into exactly one frame, with no delay and
// no hidden frames: the lossless and still-image codecs clips are exchanged
// in, FFV1 (our .mkv) and PNG sequences among them.
bool OnePacketPerFrame(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_FFV1:
    case AV_CODEC_ID_PNG:
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_RAWVIDEO:
    case AV_CODEC_ID_PRORES:
    case AV_CODEC_ID_UTVIDEO:
    case AV_CODEC_ID_HUFFYUV:
    case AV_CODEC_ID_FFVHUFF:
    case AV_CODEC_ID_DNXHD: return true;
    default: {
        const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
        return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    }
    }
}

// Counts the frames of a clip whose container does not say. Where a packet
// is a frame, counting packets is exact and spares decoding a long lossless
// clip; other codecs may hold frames back or hide some, so they are decoded
// (skipping the work that changes no count).
MediaCode CountFrames(ClipReaderState& s, int32_t& count, int64_t& contentEnd, std::string& message) {
    MediaCode result = OpenDecoder(s, true, message);
    if (result == kMediaOk && OnePacketPerFrame(s.codec->codec_id)) {
        int64_t packets = 0;
        while (av_read_frame(s.format, s.packet) >= 0) {
            if (s.packet->stream_index == s.streamIndex) {
                ++packets;
                NoteEnd(s, s.packet->pts, s.packet->duration);
            }
            av_packet_unref(s.packet);
        }
        count = int32_t(packets < INT_MAX ? packets : INT_MAX);
        contentEnd = s.contentEnd;
        CloseDecoder(s);
        return kMediaOk;
    }
    while (result == kMediaOk && s.decodedIndex < INT_MAX - 1) result = DecodeNext(s, message);
    count = s.decodedIndex + 1;
    contentEnd = s.contentEnd;
    CloseDecoder(s);
    return result == kMediaFrameMissing ? kMediaOk : result;
}

MediaCode DeliverFrame(ClipReader& reader, int32_t index, Frame& frame, std::string& message) {
    ClipReaderState& s = *reader.state;
    if (CachedFrame* hit = FindCached(s, index)) {
        hit->lastUse = ++s.useClock;
        frame = hit->frame;
        return kMediaOk;
    }
    MediaCode result = DecodeTo(s, index, message);
    if (result == kMediaFrameMissing)
        message = s.shown + " declares " + std::to_string(reader.frameCount) + " frames, but only " +
                  std::to_string(s.decodedIndex + 1) + " can be decoded";
    if (result != kMediaOk) return result;
    if ((s.decoded->width != reader.width || s.decoded->height != reader.height) && reader.resizedFrame < 0) {
        reader.resizedFrame = index;
        reader.resizedWidth = s.decoded->width;
        reader.resizedHeight = s.decoded->height;
    }
    CachedFrame& slot = LeastRecentlyUsed(s, reader.framesKept);
    slot.index = -1;
    if (slot.frame.width != reader.width || slot.frame.height != reader.height) {
        result = MakeFrame(slot.frame, reader.width, reader.height);
        if (result != kMediaOk) {
            message = s.shown + " has frames too large to hold";
            return result;
        }
    }
    result = ConvertDecoded(s, slot.frame, message);
    if (result != kMediaOk) return result;
    slot.frame.timestamp =
        s.decoded->best_effort_timestamp == AV_NOPTS_VALUE ? kNoTimestamp : s.decoded->best_effort_timestamp;
    slot.frame.duration = s.decoded->pkt_duration > 0 ? s.decoded->pkt_duration : 0;
    slot.index = index;
    slot.lastUse = ++s.useClock;
    frame = slot.frame;
    return kMediaOk;
}

double DeclaredSeconds(const AVFormatContext* format, const AVStream* stream) {
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
        return double(stream->duration) * av_q2d(stream->time_base);
    if (format->duration > 0 && format->duration != AV_NOPTS_VALUE) return double(format->duration) / AV_TIME_BASE;
    return 0;
}

// The frames a container's duration stands for, when it says no count;
// 0 when the frames read reach that duration (to within two frames): a
// clip of variable frame rate has fewer frames than its duration at the
// top rate, and is whole all the same. Containers count the duration from
// the first frame or from 0; either will do.
int32_t FramesByDuration(const AVFormatContext* format, const AVStream* stream, AVRational rate, int64_t contentEnd) {
    const double seconds = DeclaredSeconds(format, stream);
    if (contentEnd != INT64_MIN) {
        const double end = double(contentEnd) * av_q2d(stream->time_base);
        const double start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time * av_q2d(stream->time_base);
        const double slack = 2 / av_q2d(rate);
        if (end + slack >= seconds || end - start + slack >= seconds) return 0;
    }
    const double frames = seconds * av_q2d(rate) + 0.5;
    return frames >= 1 && frames < INT_MAX ? int32_t(frames) : 0;
}

}  // namespace

MediaCode OpenClipReader(ClipReader& reader, const char* path, std::string& message, StopProbe stop,
                         const char* shownAs) {
    CloseClipReader(reader);
    PrepareFfmpeg();
    auto* s = new ClipReaderState;
    s->path = path;
    s->shown = shownAs ? shownAs : Quoted(path);
    s->stop = stop;
    reader.state = s;

    MediaCode result = OpenDecoder(*s, false, message);
    if (result != kMediaOk) {
        CloseClipReader(reader);
        return result;
    }
    AVStream* stream = s->format->streams[s->streamIndex];
    int64_t promised = stream->nb_frames;
    AVRational rate = av_guess_frame_rate(s->format, stream, nullptr);
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{24, 1};
    int width = s->codec->width, height = s->codec->height;

    result = DecodeNext(*s, message);
    if (result == kMediaFrameMissing) {
        message = Quoted(path) + " holds no frame that can be decoded";
        result = kMediaBadData;
    }
    if (result != kMediaOk) {
        CloseClipReader(reader);
        return result;
    }
    reader.colour = ColourOf(*s->decoded);
    reader.sampleBits = DeepestComponent(AVPixelFormat(s->decoded->format));
    reader.firstTimestamp = s->decoded->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : s->decoded->best_effort_timestamp;
    // Frame 0 sets the size every frame is delivered at.
    if (s->decoded->width > 0 && s->decoded->height > 0) width = s->decoded->width, height = s->decoded->height;
    if (!FrameSizeFits(width, height)) {
        message = Quoted(path) + " is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        CloseClipReader(reader);
        return kMediaTooLarge;
    }

    int32_t count = 0;
    if (promised > 0 && promised < INT_MAX) {
        count = int32_t(promised);
        reader.declaredFrames = count;
    } else {
        // The container does not say; decode it all once to know.
        ClipReaderState counter;
        counter.path = path;
        counter.shown = s->shown;
        counter.stop = stop;
        int64_t contentEnd = INT64_MIN;
        result = CountFrames(counter, count, contentEnd, message);
        if (result != kMediaOk) {
            CloseClipReader(reader);
            return result;
        }
        reader.declaredFrames = FramesByDuration(s->format, stream, rate, contentEnd);
    }
    reader.width = width;
    reader.height = height;
    reader.frameCount = count;
    reader.rateNumerator = rate.num;
    reader.rateDenominator = rate.den;
    reader.timeBaseNumerator = stream->time_base.num;
    reader.timeBaseDenominator = stream->time_base.den;
    reader.videoStream = s->streamIndex;
    reader.formatName = s->format->iformat->name;
    return kMediaOk;
}

MediaCode ReadClipFrame(ClipReader& reader, int32_t index, Frame& frame, std::string& message) {
    if (!reader.state) {
        message = "no clip is open";
        return kMediaBadArgument;
    }
    if (index < 0 || index >= reader.frameCount) {
        message = "frame " + std::to_string(index) + " is outside " + reader.state->shown + " (frames 0 to " +
                  std::to_string(reader.frameCount - 1) + ")";
        return kMediaBadArgument;
    }
    ForgetFfmpegDetail(reader.state->detail);
    return DeliverFrame(reader, index, frame, message);
}

void CloseClipReader(ClipReader& reader) {
    if (reader.state) {
        CloseDecoder(*reader.state);
        sws_freeContext(reader.state->scaler);
        delete reader.state;
    }
    reader = ClipReader{};
}
