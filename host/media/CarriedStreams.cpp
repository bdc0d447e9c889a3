#include "CarriedStreams.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "OutputFile.h"

namespace {

const char* KindName(AVMediaType type) {
    const char* name = av_get_media_type_string(type);
    return name ? name : "unknown";
}

std::string StreamName(const AVStream* stream, const std::string& input) {
    return "stream " + std::to_string(stream->index) + " (" + KindName(stream->codecpar->codec_type) + ", " +
           avcodec_get_name(stream->codecpar->codec_id) + ") of " + Quoted(input);
}

// Codecs whose tag a muxer knows but whose header it refuses to write (at
// FFmpeg's normal compliance), though avformat_query_codec says yes.
struct RefusedCodec {
    const char* muxer;
    AVCodecID codec;
};
constexpr RefusedCodec kRefusedCodecs[] = {
    {"mp4", AV_CODEC_ID_FLAC},  // experimental
    {"mov", AV_CODEC_ID_FLAC},  // "flac only supported in MP4"
    {"mov", AV_CODEC_ID_OPUS},
};

bool ContainerHolds(const AVFormatContext* muxer, AVCodecID codec) {
    for (const RefusedCodec& refused : kRefusedCodecs)
        if (refused.codec == codec && std::strcmp(refused.muxer, muxer->oformat->name) == 0) return false;
    return avformat_query_codec(muxer->oformat, codec, FF_COMPLIANCE_NORMAL) == 1;
}

std::string CannotHold(const AVFormatContext* muxer) {
    return std::string("the output's container (") + muxer->oformat->name + ") cannot hold it as it is";
}

// Why the output leaves `stream` out, or "" when it carries it.
std::string LeftOutBecause(const AVStream* stream, const CarryRequest& request, const AVFormatContext* muxer) {
    const AVMediaType type = stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO) return "only one video stream is filtered";
    if (type == AVMEDIA_TYPE_AUDIO && request.noAudio) return "--no-audio";
    if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE && type != AVMEDIA_TYPE_DATA)
        return std::string("the output does not take ") + KindName(type) + " streams";
    if (!ContainerHolds(muxer, stream->codecpar->codec_id)) return CannotHold(muxer);
    return "";
}

bool CopiesSound(const CarryRequest& request) { return request.audioCodec.empty() || request.audioCodec == "copy"; }

// The encoder a sound stream is re-encoded with: the one -c:a names, else,
// where the container cannot hold it as it is, the container's usual one.
// Null: copied (or left out, when the container has no usual sound codec).
const AVCodec* SoundEncoderFor(const AVStream* stream, const CarryRequest& request, const AVFormatContext* muxer) {
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || request.noAudio) return nullptr;
    if (!CopiesSound(request)) return FindSoundEncoder(request.audioCodec);
    if (ContainerHolds(muxer, stream->codecpar->codec_id)) return nullptr;
    const AVCodec* usual = UsualSoundEncoder(muxer->oformat);
    return usual != nullptr && ContainerHolds(muxer, usual->id) ? usual : nullptr;
}

// "aac", or "opus (libopus)" where the encoder's name is not the codec's.
std::string EncoderName(const AVCodec* encoder) {
    const std::string codec = avcodec_get_name(encoder->id);
    return codec == encoder->name ? codec : codec + " (" + encoder->name + ")";
}

// A sound stream into its re-encoding, said in `notes` where the user did
// not ask for it.
MediaCode AddTranscodedStream(CarriedStreams& carried, const CarryRequest& request, const AVStream* stream,
                              const AVCodec* encoder, AVFormatContext* muxer, std::vector<std::string>& notes,
                              FfmpegDetail& detail, std::string& message) {
    if (!ContainerHolds(muxer, encoder->id)) {
        message = CannotWriteMessage(carried.output, std::string("the output's container (") + muxer->oformat->name +
                                                         ") cannot hold " + avcodec_get_name(encoder->id) +
                                                         " sound (-c:a " + request.audioCodec + ")");
        return kMediaBadArgument;
    }
    SoundTranscode& transcode = carried.transcodes[size_t(stream->index)];
    const MediaCode result =
        OpenSoundTranscode(transcode, stream, encoder, request.audioBitRate, muxer, carried.output, detail, message);
    if (result != kMediaOk) return result;
    carried.outputIndex[size_t(stream->index)] = transcode.outputIndex;
    if (CopiesSound(request))
        notes.push_back(StreamName(stream, request.input) + " is re-encoded as " + EncoderName(encoder) + ": " +
                        CannotHold(muxer));
    return kMediaOk;
}

// The video's own tags and its rotation go with the filtered frames.
void CopyVideoTags(const AVStream* from, AVStream* to) {
    av_dict_copy(&to->metadata, from->metadata, 0);
    av_dict_set(&to->metadata, "encoder", nullptr, 0);
    to->disposition = from->disposition;
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(from, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr) return;
    if (uint8_t* copy = av_stream_new_side_data(to, AV_PKT_DATA_DISPLAYMATRIX, size)) memcpy(copy, matrix, size);
}

MediaCode AddStream(CarriedStreams& carried, const AVStream* from, AVFormatContext* muxer) {
    AVStream* to = avformat_new_stream(muxer, nullptr);
    if (to == nullptr || avcodec_parameters_copy(to->codecpar, from->codecpar) < 0) return kMediaTooLarge;
    to->codecpar->codec_tag = 0;  // the output's container picks its own tag
    to->time_base = from->time_base;
    to->disposition = from->disposition;
    av_dict_copy(&to->metadata, from->metadata, 0);
    carried.outputIndex[size_t(from->index)] = to->index;
    return kMediaOk;
}

int64_t PacketMicros(const AVPacket* packet, AVRational timeBase) {
    const int64_t at = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    return at == AV_NOPTS_VALUE ? INT64_MIN : av_rescale_q(at, timeBase, AV_TIME_BASE_Q);
}

}  // namespace

MediaCode OpenCarriedStreams(CarriedStreams& carried, const CarryRequest& request, const std::string& output,
                             AVFormatContext* muxer, AVStream* video, std::vector<std::string>& notes,
                             FfmpegDetail& detail, std::string& message) {
    CloseCarriedStreams(carried);
    if (request.input.empty()) return kMediaOk;
    carried.output = output;
    if (!CopiesSound(request) && FindSoundEncoder(request.audioCodec) == nullptr) {
        message = CannotWriteMessage(output, "this build of FFmpeg has no audio encoder '" + request.audioCodec + "'");
        return kMediaUnsupported;
    }
    int error = avformat_open_input(&carried.input, request.input.c_str(), nullptr, nullptr);
    if (error >= 0) {
        KeepFfmpegDetail(carried.input, &detail);
        error = avformat_find_stream_info(carried.input, nullptr);
    }
    if (error < 0) {
        message = CannotOpenMessage(request.input, FfmpegErrorText(error, detail));
        return kMediaCannotOpen;
    }
    carried.packet = av_packet_alloc();
    carried.outputIndex.assign(carried.input->nb_streams, -1);
    carried.transcodes.resize(carried.input->nb_streams);
    if (carried.packet == nullptr) return kMediaTooLarge;
    av_dict_copy(&muxer->metadata, carried.input->metadata, 0);
    av_dict_set(&muxer->metadata, "encoder", nullptr, 0);  // the muxer names itself
    for (unsigned i = 0; i < carried.input->nb_streams; ++i) {
        AVStream* stream = carried.input->streams[i];
        if (int32_t(i) == request.filteredStream) {
            CopyVideoTags(stream, video);
            stream->discard = AVDISCARD_ALL;
            continue;
        }
        if (const AVCodec* encoder = SoundEncoderFor(stream, request, muxer)) {
            const MediaCode added =
                AddTranscodedStream(carried, request, stream, encoder, muxer, notes, detail, message);
            if (added != kMediaOk) return added;
            continue;
        }
        const std::string because = LeftOutBecause(stream, request, muxer);
        if (!because.empty()) {
            stream->discard = AVDISCARD_ALL;
            if (because != "--no-audio")
                notes.push_back(StreamName(stream, request.input) + " is left out: " + because);
            continue;
        }
        if (AddStream(carried, stream, muxer) != kMediaOk) {
            message = CannotWriteMessage(carried.output, "out of memory");
            return kMediaTooLarge;
        }
    }
    return kMediaOk;
}

MediaCode CarryPacketsUntil(CarriedStreams& carried, AVFormatContext* muxer, int64_t untilMicros, FfmpegDetail& detail,
                            std::string& message) {
    if (carried.input == nullptr) return kMediaOk;
    for (;;) {
        if (!carried.pending) {
            if (carried.ended) return kMediaOk;
            if (av_read_frame(carried.input, carried.packet) < 0) {
                carried.ended = true;  // the end, or input that breaks off: what was read stands
                return kMediaOk;
            }
            carried.pending = true;
        }
        AVPacket* packet = carried.packet;
        const int32_t index = packet->stream_index < int(carried.outputIndex.size())
                                  ? carried.outputIndex[size_t(packet->stream_index)]
                                  : -1;
        const AVRational from = carried.input->streams[packet->stream_index]->time_base;
        const int64_t at = PacketMicros(packet, from);
        if (index >= 0 && at != INT64_MIN && at >= untilMicros) return kMediaOk;
        carried.pending = false;
        if (index < 0 || at == INT64_MIN || at < carried.startMicros) {
            av_packet_unref(packet);
            continue;
        }
        if (SoundTranscode& transcode = carried.transcodes[size_t(packet->stream_index)]; transcode.encoder) {
            const MediaCode result =
                TranscodeSoundPacket(transcode, packet, carried.shiftMicros, muxer, detail, message);
            av_packet_unref(packet);
            if (result != kMediaOk) return result;
            continue;
        }
        const AVRational to = muxer->streams[index]->time_base;
        av_packet_rescale_ts(packet, from, to);
        const int64_t shift = av_rescale_q(carried.shiftMicros, AV_TIME_BASE_Q, to);
        if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
        if (packet->dts != AV_NOPTS_VALUE) packet->dts -= shift;
        packet->stream_index = index;
        packet->pos = -1;
        const int error = av_interleaved_write_frame(muxer, packet);  // takes the packet's data
        if (error < 0) {
            message = CannotWriteMessage(carried.output, FfmpegErrorText(error, detail));
            return kMediaCannotWrite;
        }
    }
}

MediaCode FlushCarriedStreams(CarriedStreams& carried, AVFormatContext* muxer, FfmpegDetail& detail,
                              std::string& message) {
    for (SoundTranscode& transcode : carried.transcodes) {
        if (transcode.encoder == nullptr) continue;
        const MediaCode result = TranscodeSoundPacket(transcode, nullptr, carried.shiftMicros, muxer, detail, message);
        if (result != kMediaOk) return result;
    }
    return kMediaOk;
}

void CloseCarriedStreams(CarriedStreams& carried) {
    for (SoundTranscode& transcode : carried.transcodes) CloseSoundTranscode(transcode);
    av_packet_free(&carried.packet);
    avformat_close_input(&carried.input);
    carried = CarriedStreams{};
}
