// Writes clips; the kind follows the output's extension (or, for standard
// output, "-", the format named), and so does the default encoder:
//   .mp4, .mov   H.264 (yuv420p; yuv444p for an odd width or height), or
//                FFmpeg's own mpeg4 encoder where it has no H.264 one
//   .mkv, .nut   FFV1 in BGRA: lossless, alpha kept, so a round trip is exact
//   .webm        VP9 (yuv420p)
//   .gif         a 3-3-2 colour palette, dithered by swscale
//   .y4m         raw YUV (yuv420p; yuv444p for an odd width or height)
//   a numbered PNG pattern such as "out/frame%04d.png": one RGBA PNG per
//                frame, numbered from 0 like the frames themselves
//   .jpg, .jpeg, .webp, .tif, .tiff: one picture
// plus, to standard output only, raw BGRA frames and a stream of PNGs.
// A file output appears only when FinishClipWriter succeeds: until then it
// is written under temporary names beside it, and a writer that fails or
// is closed unfinished removes everything it wrote.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CarriedStreams.h"
#include "Frame.h"
#include "MediaResult.h"

enum ClipFormat : int32_t {
    kClipMp4 = 0,
    kClipMov = 1,
    kClipMkv = 2,
    kClipGif = 3,
    kClipPngSequence = 4,
    kClipWebm = 5,
    kClipY4m = 6,
    kClipNut = 7,
    kClipRawVideo = 8,   // standard output only
    kClipPngStream = 9,  // standard output only
    kClipJpeg = 10,      // one picture
    kClipWebp = 11,      // one picture
    kClipTiff = 12,      // one picture
};

// The kind of clip `path` asks for. kMediaUnsupported with a message naming
// the kinds we write for any other name (a plain "x.png" included: a clip
// needs a frame number pattern).
MediaCode ClipFormatForPath(const char* path, ClipFormat& format, std::string& message);

// The kind "-f NAME" asks for on standard output: y4m (yuv4mpegpipe), nut,
// rawvideo, png (image2pipe), matroska (mkv). False for any other name.
bool ClipFormatForName(const std::string& name, ClipFormat& format);

// True for the kinds that hold one picture: .jpg, .jpeg, .webp, .tif, .tiff.
bool IsOnePictureFormat(ClipFormat format);

// The encoder and its settings, in FFmpeg's spelling; empty: the default.
struct EncoderSettings {
    std::string videoCodec;   // -c:v: an FFmpeg encoder ("libx264", "prores_ks", "ffv1")
    std::string pixelFormat;  // -pix_fmt
    std::string crf;          // -crf
    std::string preset;       // -preset
    std::string bitRate;      // -b:v ("2M")
    std::vector<std::pair<std::string, std::string>> options;  // passed to the encoder as they are
};

// The writer of one kind of output (ClipWriterKinds.h), owned by its handle.
struct ClipWriterState;
struct ClipWriterDeleter {
    void operator()(ClipWriterState* state) const;
};
using ClipWriterHandle = std::unique_ptr<ClipWriterState, ClipWriterDeleter>;

// Move-only: one handle owns the output being written.
struct ClipWriter {
    int32_t width = 0;
    int32_t height = 0;
    int32_t framesWritten = 0;
    int32_t encoders = 0;  // frames encoded at once, each by an encoder of its own
    ClipFormat format = kClipMkv;
    std::vector<std::string> notes;  // what the output leaves out or changes, one line each, for the user
    ClipWriterHandle state;
};

// How a clip is written, beyond its size and rate.
struct ClipWriterOptions {
    int32_t encoderThreads = 0;  // 0: one per core
    int32_t frameCount = 0;      // 0: not known
    bool replaceExisting = true;
    // The frames' timestamps count timeBaseNumerator / timeBaseDenominator
    // seconds (0: frames follow at the rate). The output keeps them; with
    // `cutToFrames` they move so that the first frame written lands at
    // firstTimestamp, the start of the clip it came from.
    int32_t timeBaseNumerator = 0;
    int32_t timeBaseDenominator = 1;
    int64_t firstTimestamp = 0;
    bool cutToFrames = false;  // the carried streams, too, cover only the frames written
    ClipColour colour;         // of the frames' source: YUV output is converted with its matrix and tagged so
    CarryRequest carry;        // the input's streams and metadata that go along
    EncoderSettings encoder;
    ClipFormat format = kClipMkv;  // for the path "-", standard output: the kind written there
};

// Prepares a clip of width x height frames at rateNumerator / rateDenominator
// frames per second, creating its temporary file so an unwritable folder
// fails here. kMediaUnsupported, kMediaCannotWrite, kMediaBadArgument,
// kMediaEncodeFailed.
// `encoderThreads` (0: one per core) is the threads the encoding may use.
// Where every frame is encoded on its own, frames are encoded at once, each
// by an encoder of its own, and the output is byte for byte that of one
// encoder: a PNG pattern encodes one frame per thread; an .mkv's FFV1
// encoder runs four threads of its own (one per slice), and a further
// encoder is started for every four more threads when the clip, of
// `frameCount` frames (0: not known), is long enough to repay its start.
// Other kinds have one encoder, which runs threads of its own.
// Without `replaceExisting`, FinishClipWriter fails rather than replace a
// file (or a pattern's frame) that exists by then.
MediaCode OpenClipWriter(ClipWriter& writer, const char* path, int32_t width, int32_t height, int32_t rateNumerator,
                         int32_t rateDenominator, std::string& message, int32_t encoderThreads = 0,
                         int32_t frameCount = 0, bool replaceExisting = true);

// The same, with every option a render gives.
MediaCode OpenClipWriter(ClipWriter& writer, const char* path, int32_t width, int32_t height, int32_t rateNumerator,
                         int32_t rateDenominator, const ClipWriterOptions& options, std::string& message);

// Appends one frame, which must be the writer's size. After a failure the
// writer accepts nothing more and FinishClipWriter fails too.
MediaCode WriteClipFrame(ClipWriter& writer, const Frame& frame, std::string& message);

// Flushes the encoder and completes the temporary file, asking `stop`
// between packets (kMediaInterrupted when it says stop). Nothing is in
// place yet: FinishClipWriter does that, or CloseClipWriter removes it all.
MediaCode CompleteClipWriter(ClipWriter& writer, std::string& message, StopProbe stop = nullptr);

// Completes the clip if that is not done yet and moves it (or every frame
// of a pattern) into place. Closes the writer whatever the result; on
// failure nothing of this clip remains.
MediaCode FinishClipWriter(ClipWriter& writer, std::string& message);

// Closes the writer; an unfinished clip is removed. Safe on a closed writer.
void CloseClipWriter(ClipWriter& writer);
