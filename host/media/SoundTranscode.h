// A sound stream re-encoded on its way into the output: decoded, resampled
// by libswresample to the encoder's sample format, channel layout and rate,
// cut into the encoder's frame size through an AVAudioFifo and encoded.
// Timestamps count samples from the first decoded frame's time, so the
// sound keeps its place against the video.
#pragma once

#include <cstdint>
#include <string>

#include "FfmpegSupport.h"
#include "MediaResult.h"

struct AVAudioFifo;
struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVOutputFormat;
struct AVPacket;
struct AVStream;
struct SwrContext;

struct SoundTranscode {
    int32_t outputIndex = -1;  // the muxer's stream; -1: this input stream is not re-encoded
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    SwrContext* resampler = nullptr;  // made from the first decoded frame
    AVAudioFifo* fifo = nullptr;      // converted samples not yet encoded
    AVFrame* decoded = nullptr;
    AVFrame* converted = nullptr;
    AVFrame* chunk = nullptr;  // one encoder frame's samples
    AVPacket* packet = nullptr;
    int32_t frameSamples = 0;     // samples per encoder frame
    int64_t nextPts = INT64_MIN;  // of the next sample to encode, in 1 / the encoder's rate; INT64_MIN: not yet known
    std::string output;           // as the user named it, for messages
};

// The encoder that -c:a NAME names, or null when this build has none that
// encodes sound.
const AVCodec* FindSoundEncoder(const std::string& name);

// The encoder for the container's usual sound codec (AAC for .mp4 and .mov,
// Opus for .webm), or null when it has none or this build lacks it.
const AVCodec* UsualSoundEncoder(const AVOutputFormat* container);

// Opens a decoder for `from` and `encoder` for it, and adds the re-encoded
// stream to `muxer` with `from`'s tags. `bitRate` ("128k"; empty: the
// encoder's default). Before the muxer's header is written.
MediaCode OpenSoundTranscode(SoundTranscode& t, const AVStream* from, const AVCodec* encoder,
                             const std::string& bitRate, AVFormatContext* muxer, const std::string& output,
                             FfmpegDetail& detail, std::string& message);

// Decodes `packet` (nullptr: the end, which flushes everything) and muxes
// every encoded packet that is ready. `shiftMicros` moves the sound earlier
// with the video of a cut clip.
MediaCode TranscodeSoundPacket(SoundTranscode& t, const AVPacket* packet, int64_t shiftMicros, AVFormatContext* muxer,
                               FfmpegDetail& detail, std::string& message);

// Releases everything; safe on a closed record.
void CloseSoundTranscode(SoundTranscode& t);
