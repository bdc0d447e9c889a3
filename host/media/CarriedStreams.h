// The streams of an input that a filtered clip carries along: its sound,
// subtitles and data, copied packet for packet without re-encoding (sound
// the output's container cannot hold as it is, or that -c:a names an
// encoder for, is re-encoded), and
// the input's metadata (the container's, and the video stream's tags and
// rotation). They are read from the input on a demuxer of their own and
// muxed between the filtered video's packets, in time order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FfmpegSupport.h"
#include "MediaResult.h"
#include "SoundTranscode.h"

struct AVFormatContext;
struct AVPacket;
struct AVStream;

// What the output takes from an input.
struct CarryRequest {
    std::string input;            // the clip to carry streams from; empty: nothing
    int32_t filteredStream = -1;  // its video stream the frames come from, carried as filtered frames
    bool noAudio = false;         // leave the sound out
    std::string audioCodec;       // -c:a: every sound stream re-encoded by this encoder; empty or "copy": copied
    std::string audioBitRate;     // -b:a for the re-encoded sound ("128k"); empty: the encoder's default
};

struct CarriedStreams {
    std::string output;  // as the user named it, for messages
    AVFormatContext* input = nullptr;
    std::vector<int32_t> outputIndex;        // per input stream: the output stream it goes to, -1: none
    std::vector<SoundTranscode> transcodes;  // per input stream: its re-encoding, where it has one
    AVPacket* packet = nullptr;              // read and not muxed yet, when `pending`
    bool pending = false;
    bool ended = false;
    int64_t startMicros = INT64_MIN;  // packets before this time (input clock, microseconds) are dropped
    int64_t shiftMicros = 0;          // and the others move this much earlier
};

// Opens `request.input` for the output the user calls `output`, adds an output stream to `muxer` for each of its
// streams the muxer can hold as it is, and copies the metadata onto
// `muxer` and `video` (the filtered stream's output). Streams left out or
// re-encoded because the container cannot hold them are said in `notes`,
// one line each. Before the muxer's header is written.
MediaCode OpenCarriedStreams(CarriedStreams& carried, const CarryRequest& request, const std::string& output,
                             AVFormatContext* muxer, AVStream* video, std::vector<std::string>& notes,
                             FfmpegDetail& detail, std::string& message);

// Muxes the carried packets that come before `untilMicros` on the input's
// clock (INT64_MAX: all that are left).
MediaCode CarryPacketsUntil(CarriedStreams& carried, AVFormatContext* muxer, int64_t untilMicros, FfmpegDetail& detail,
                            std::string& message);

// Muxes what the re-encoded streams still hold, after the last
// CarryPacketsUntil and before the trailer.
MediaCode FlushCarriedStreams(CarriedStreams& carried, AVFormatContext* muxer, FfmpegDetail& detail,
                              std::string& message);

// Releases everything; safe on a closed record.
void CloseCarriedStreams(CarriedStreams& carried);
