#include "SoundTranscode.h"

#include <algorithm>
#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "OutputFile.h"

namespace {

// Samples per frame for encoders that take any size (PCM, for one): small
// enough to interleave finely with the video, large enough to be cheap.
constexpr int32_t kAnySizeFrameSamples = 1024;

AVSampleFormat ChooseSampleFormat(const AVCodec* codec, AVSampleFormat wanted) {
    if (codec->sample_fmts == nullptr) return wanted;
    for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format)
        if (*format == wanted) return wanted;
    return codec->sample_fmts[0];
}

// The input's rate where the encoder has it, else the nearest it has
// (Opus: 48 kHz for 44.1 kHz).
int ChooseSampleRate(const AVCodec* codec, int wanted) {
    if (codec->supported_samplerates == nullptr || codec->supported_samplerates[0] == 0) return wanted;
    int best = codec->supported_samplerates[0];
    for (const int* rate = codec->supported_samplerates; *rate != 0; ++rate) {
        if (*rate == wanted) return wanted;
        if (std::abs(*rate - wanted) < std::abs(best - wanted)) best = *rate;
    }
    return best;
}

// A layout without a channel order (a WAV file without a channel mask) is
// taken as the usual one for its channel count, as FFmpeg's tool does.
void OrderedLayout(const AVChannelLayout& from, AVChannelLayout* to) {
    if (from.order == AV_CHANNEL_ORDER_UNSPEC || from.nb_channels == 0)
        av_channel_layout_default(to, from.nb_channels > 0 ? from.nb_channels : 2);
    else
        av_channel_layout_copy(to, &from);
}

// The input's layout where the encoder takes it, else one of the encoder's
// with as many channels, else its first.
void ChooseLayout(const AVCodec* codec, const AVChannelLayout& input, AVChannelLayout* chosen) {
    AVChannelLayout wanted{};
    OrderedLayout(input, &wanted);
    const AVChannelLayout* pick = codec->ch_layouts;
    if (pick != nullptr) {
        const AVChannelLayout* sameCount = nullptr;
        for (const AVChannelLayout* layout = codec->ch_layouts; layout->nb_channels != 0; ++layout) {
            if (av_channel_layout_compare(layout, &wanted) == 0) sameCount = layout;
            if (sameCount == nullptr && layout->nb_channels == wanted.nb_channels) sameCount = layout;
        }
        if (sameCount != nullptr) pick = sameCount;
    }
    av_channel_layout_copy(chosen, pick != nullptr && pick->nb_channels != 0 ? pick : &wanted);
    av_channel_layout_uninit(&wanted);
}

MediaCode Failed(const SoundTranscode& t, MediaCode code, int error, FfmpegDetail& detail, std::string& message) {
    message = CannotWriteMessage(t.output, "the sound: " + FfmpegErrorText(error, detail));
    return code;
}

MediaCode OpenDecoder(SoundTranscode& t, const AVStream* from, FfmpegDetail& detail, std::string& message) {
    const AVCodec* codec = avcodec_find_decoder(from->codecpar->codec_id);
    if (codec == nullptr) {
        message = CannotWriteMessage(t.output, std::string("this build of FFmpeg has no decoder for ") +
                                                   avcodec_get_name(from->codecpar->codec_id) + " sound");
        return kMediaUnsupported;
    }
    t.decoder = avcodec_alloc_context3(codec);
    if (t.decoder == nullptr) return Failed(t, kMediaTooLarge, AVERROR(ENOMEM), detail, message);
    KeepFfmpegDetail(t.decoder, &detail);
    int error = avcodec_parameters_to_context(t.decoder, from->codecpar);
    t.decoder->pkt_timebase = from->time_base;
    if (error >= 0) error = avcodec_open2(t.decoder, codec, nullptr);
    return error < 0 ? Failed(t, kMediaUnsupported, error, detail, message) : kMediaOk;
}

MediaCode OpenEncoder(SoundTranscode& t, const AVCodec* codec, const std::string& bitRate, bool globalHeader,
                      FfmpegDetail& detail, std::string& message) {
    t.encoder = avcodec_alloc_context3(codec);
    if (t.encoder == nullptr) return Failed(t, kMediaTooLarge, AVERROR(ENOMEM), detail, message);
    KeepFfmpegDetail(t.encoder, &detail);
    AVCodecContext* e = t.encoder;
    e->sample_fmt = ChooseSampleFormat(codec, t.decoder->sample_fmt);
    e->sample_rate = ChooseSampleRate(codec, t.decoder->sample_rate);
    ChooseLayout(codec, t.decoder->ch_layout, &e->ch_layout);
    e->time_base = AVRational{1, e->sample_rate};
    // The user named it; FFmpeg's tool wants "-strict experimental" for it.
    if (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) e->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (globalHeader) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* settings = nullptr;
    if (!bitRate.empty()) av_dict_set(&settings, "b", bitRate.c_str(), 0);
    const int error = avcodec_open2(e, codec, &settings);
    av_dict_free(&settings);
    if (error < 0) {
        message = CannotWriteMessage(t.output, std::string("the sound encoder '") + codec->name +
                                                   "' refused the settings: " + FfmpegErrorText(error, detail));
        return kMediaEncodeFailed;
    }
    const bool anySize = e->frame_size <= 0 || (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    t.frameSamples = anySize ? kAnySizeFrameSamples : e->frame_size;
    return kMediaOk;
}

MediaCode AddOutputStream(SoundTranscode& t, const AVStream* from, AVFormatContext* muxer) {
    AVStream* to = avformat_new_stream(muxer, nullptr);
    if (to == nullptr || avcodec_parameters_from_context(to->codecpar, t.encoder) < 0) return kMediaTooLarge;
    to->time_base = t.encoder->time_base;
    to->disposition = from->disposition;
    av_dict_copy(&to->metadata, from->metadata, 0);
    t.outputIndex = to->index;
    return kMediaOk;
}

MediaCode MuxEncoded(SoundTranscode& t, AVFormatContext* muxer, FfmpegDetail& detail, std::string& message) {
    for (;;) {
        int error = avcodec_receive_packet(t.encoder, t.packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return kMediaOk;
        if (error < 0) return Failed(t, kMediaEncodeFailed, error, detail, message);
        av_packet_rescale_ts(t.packet, t.encoder->time_base, muxer->streams[t.outputIndex]->time_base);
        t.packet->stream_index = t.outputIndex;
        error = av_interleaved_write_frame(muxer, t.packet);  // takes the packet's data
        if (error < 0) return Failed(t, kMediaCannotWrite, error, detail, message);
    }
}

// Encodes whole frames from the fifo; at the end also the rest, as a short
// last frame or, for encoders that take none, padded with silence.
MediaCode EncodeQueued(SoundTranscode& t, bool atEnd, AVFormatContext* muxer, FfmpegDetail& detail,
                       std::string& message) {
    const bool shortLast =
        t.encoder->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(t.fifo) >= t.frameSamples || (atEnd && av_audio_fifo_size(t.fifo) > 0)) {
        const int samples = std::min(av_audio_fifo_size(t.fifo), t.frameSamples);
        AVFrame* chunk = t.chunk;
        av_frame_unref(chunk);
        chunk->nb_samples = shortLast || t.encoder->frame_size <= 0 ? samples : t.frameSamples;
        chunk->format = t.encoder->sample_fmt;
        chunk->sample_rate = t.encoder->sample_rate;
        int error = av_channel_layout_copy(&chunk->ch_layout, &t.encoder->ch_layout);
        if (error >= 0) error = av_frame_get_buffer(chunk, 0);
        if (error < 0) return Failed(t, kMediaTooLarge, error, detail, message);
        av_audio_fifo_read(t.fifo, reinterpret_cast<void**>(chunk->extended_data), samples);
        if (samples < chunk->nb_samples)
            av_samples_set_silence(chunk->extended_data, samples, chunk->nb_samples - samples,
                                   chunk->ch_layout.nb_channels, AVSampleFormat(chunk->format));
        chunk->pts = t.nextPts;
        t.nextPts += samples;
        if ((error = avcodec_send_frame(t.encoder, chunk)) < 0)
            return Failed(t, kMediaEncodeFailed, error, detail, message);
        if (MediaCode muxed = MuxEncoded(t, muxer, detail, message); muxed != kMediaOk) return muxed;
    }
    return kMediaOk;
}

// The frame's layout given its order, so that the resampler takes it.
void OrderFrameLayout(AVFrame* frame) {
    if (frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC && frame->ch_layout.nb_channels != 0) return;
    AVChannelLayout ordered{};
    OrderedLayout(frame->ch_layout, &ordered);
    av_channel_layout_uninit(&frame->ch_layout);
    frame->ch_layout = ordered;
}

MediaCode OpenResampler(SoundTranscode& t, AVFrame* frame, FfmpegDetail& detail, std::string& message) {
    const AVCodecContext* e = t.encoder;
    int error = swr_alloc_set_opts2(&t.resampler, &t.encoder->ch_layout, e->sample_fmt, e->sample_rate,
                                    &frame->ch_layout, AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    if (error >= 0) error = swr_init(t.resampler);
    return error < 0 ? Failed(t, kMediaUnsupported, error, detail, message) : kMediaOk;
}

// Resamples `frame` (nullptr: what the resampler still holds) into the fifo.
MediaCode Queue(SoundTranscode& t, const AVFrame* frame, FfmpegDetail& detail, std::string& message) {
    if (frame == nullptr && swr_get_delay(t.resampler, t.encoder->sample_rate) <= 0) return kMediaOk;
    AVFrame* out = t.converted;
    av_frame_unref(out);
    out->format = t.encoder->sample_fmt;
    out->sample_rate = t.encoder->sample_rate;
    int error = av_channel_layout_copy(&out->ch_layout, &t.encoder->ch_layout);
    if (error >= 0) error = swr_convert_frame(t.resampler, out, frame);
    if (error < 0) return Failed(t, kMediaEncodeFailed, error, detail, message);
    if (out->nb_samples > 0 &&
        av_audio_fifo_write(t.fifo, reinterpret_cast<void**>(out->extended_data), out->nb_samples) < out->nb_samples)
        return Failed(t, kMediaTooLarge, AVERROR(ENOMEM), detail, message);
    return kMediaOk;
}

// The first frame's time sets where the sound starts; the rest follows
// sample by sample, as the encoder counts them.
void PlaceFirstFrame(SoundTranscode& t, const AVFrame* frame, int64_t shiftMicros) {
    const int64_t at = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (at == AV_NOPTS_VALUE) {
        t.nextPts = 0;
        return;
    }
    const int64_t micros = av_rescale_q(at, t.decoder->pkt_timebase, AV_TIME_BASE_Q) - shiftMicros;
    t.nextPts = av_rescale_q(micros, AV_TIME_BASE_Q, t.encoder->time_base);
}

MediaCode DecodeReady(SoundTranscode& t, int64_t shiftMicros, AVFormatContext* muxer, FfmpegDetail& detail,
                      std::string& message) {
    for (;;) {
        const int error = avcodec_receive_frame(t.decoder, t.decoded);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return kMediaOk;
        if (error < 0) return kMediaOk;  // a damaged packet: its sound is skipped, as a player skips it
        MediaCode result = kMediaOk;
        OrderFrameLayout(t.decoded);
        if (t.resampler == nullptr) result = OpenResampler(t, t.decoded, detail, message);
        if (t.nextPts == INT64_MIN) PlaceFirstFrame(t, t.decoded, shiftMicros);
        if (result == kMediaOk) result = Queue(t, t.decoded, detail, message);
        av_frame_unref(t.decoded);
        if (result == kMediaOk) result = EncodeQueued(t, false, muxer, detail, message);
        if (result != kMediaOk) return result;
    }
}

MediaCode Flush(SoundTranscode& t, int64_t shiftMicros, AVFormatContext* muxer, FfmpegDetail& detail,
                std::string& message) {
    avcodec_send_packet(t.decoder, nullptr);
    MediaCode result = DecodeReady(t, shiftMicros, muxer, detail, message);
    if (result == kMediaOk && t.resampler != nullptr) result = Queue(t, nullptr, detail, message);
    if (result == kMediaOk && t.nextPts != INT64_MIN) result = EncodeQueued(t, true, muxer, detail, message);
    if (result != kMediaOk) return result;
    const int error = avcodec_send_frame(t.encoder, nullptr);
    if (error < 0 && error != AVERROR_EOF) return Failed(t, kMediaEncodeFailed, error, detail, message);
    return MuxEncoded(t, muxer, detail, message);
}

}  // namespace

const AVCodec* FindSoundEncoder(const std::string& name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    return codec != nullptr && codec->type == AVMEDIA_TYPE_AUDIO ? codec : nullptr;
}

const AVCodec* UsualSoundEncoder(const AVOutputFormat* container) {
    const AVCodecID id = av_guess_codec(container, nullptr, nullptr, nullptr, AVMEDIA_TYPE_AUDIO);
    return id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
}

MediaCode OpenSoundTranscode(SoundTranscode& t, const AVStream* from, const AVCodec* encoder,
                             const std::string& bitRate, AVFormatContext* muxer, const std::string& output,
                             FfmpegDetail& detail, std::string& message) {
    CloseSoundTranscode(t);
    t.output = output;
    MediaCode result = OpenDecoder(t, from, detail, message);
    if (result == kMediaOk)
        result = OpenEncoder(t, encoder, bitRate, muxer->oformat->flags & AVFMT_GLOBALHEADER, detail, message);
    if (result != kMediaOk) return result;
    t.fifo = av_audio_fifo_alloc(t.encoder->sample_fmt, t.encoder->ch_layout.nb_channels, t.frameSamples);
    t.decoded = av_frame_alloc();
    t.converted = av_frame_alloc();
    t.chunk = av_frame_alloc();
    t.packet = av_packet_alloc();
    if (!t.fifo || !t.decoded || !t.converted || !t.chunk || !t.packet || AddOutputStream(t, from, muxer) != kMediaOk)
        return Failed(t, kMediaTooLarge, AVERROR(ENOMEM), detail, message);
    return kMediaOk;
}

MediaCode TranscodeSoundPacket(SoundTranscode& t, const AVPacket* packet, int64_t shiftMicros, AVFormatContext* muxer,
                               FfmpegDetail& detail, std::string& message) {
    if (packet == nullptr) return Flush(t, shiftMicros, muxer, detail, message);
    const int error = avcodec_send_packet(t.decoder, packet);
    if (error < 0 && error != AVERROR_INVALIDDATA) return Failed(t, kMediaEncodeFailed, error, detail, message);
    return DecodeReady(t, shiftMicros, muxer, detail, message);
}

void CloseSoundTranscode(SoundTranscode& t) {
    avcodec_free_context(&t.decoder);
    avcodec_free_context(&t.encoder);
    swr_free(&t.resampler);
    if (t.fifo != nullptr) av_audio_fifo_free(t.fifo);
    av_frame_free(&t.decoded);
    av_frame_free(&t.converted);
    av_frame_free(&t.chunk);
    av_packet_free(&t.packet);
    t = SoundTranscode{};
}
