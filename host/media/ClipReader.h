// Reads clips through FFmpeg's libraries: any container and codec they
// decode, including numbered image sequences such as "shots/f%04d.png".
// Frames are numbered 0 to frameCount - 1 in presentation order.
#pragma once

#include <cstdint>
#include <string>

#include "Frame.h"
#include "MediaResult.h"

struct ClipReaderState;

// The most frames a reader keeps, so that looking back a little is cheap.
constexpr int32_t kMostFramesKept = 4;

struct ClipReader {
    int32_t width = 0;  // of frame 0; every frame is delivered at this size
    int32_t height = 0;
    int32_t frameCount = 0;      // from the container, else counted by decoding
    int32_t declaredFrames = 0;  // what the container's header says (count or duration); 0: nothing
    int32_t rateNumerator = 0;   // frames per second as a fraction
    int32_t rateDenominator = 1;
    int32_t resizedFrame = -1;  // the first frame read whose size differs from frame 0's, -1: none yet
    int32_t resizedWidth = 0;   // and its own size
    int32_t resizedHeight = 0;
    // The frames' timestamps are counted in timeBaseNumerator /
    // timeBaseDenominator seconds; frame 0 is at firstTimestamp.
    int32_t timeBaseNumerator = 0;
    int32_t timeBaseDenominator = 1;
    int64_t firstTimestamp = 0;
    int32_t videoStream = -1;  // the index of the video stream read, in its container
    int32_t sampleBits = 8;    // the deepest colour component of the clip's own pixels
    ClipColour colour;         // untagged YUV is read with BT.601, as FFmpeg reads it, and said so here
    std::string formatName;    // FFmpeg's name of the container ("mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm")
    // Frames kept for looking back, 1 to kMostFramesKept: a caller that only
    // reads forward keeps one, and so holds three frames' memory less.
    int32_t framesKept = kMostFramesKept;
    ClipReaderState* state = nullptr;
};

// Opens the clip, learns its size, rate and frame count, and decodes frame 0
// so an undecodable clip fails here. kMediaCannotOpen (missing, unreadable),
// kMediaUnsupported (no video FFmpeg decodes), kMediaBadData (no frame
// decodes), kMediaTooLarge; the message names the file. FFmpeg asks `stop`
// while it reads or waits, then and later: when it says stop, reads fail,
// and the caller who asked knows why.
// `shownAs` is how messages name the clip ("standard input"); by default
// its quoted path.
MediaCode OpenClipReader(ClipReader& reader, const char* path, std::string& message, StopProbe stop = nullptr,
                         const char* shownAs = nullptr);

// Frame `index` as BGRA with its timestamp and duration, alpha 255 where
// the clip has none, scaled to the
// reader's width x height should a frame differ (the first such frame is
// noted in resizedFrame). Reading forward is a plain decode; the last few
// frames are kept, so looking back a little is cheap, and looking back
// further decodes again from the start. kMediaBadArgument for an index
// outside the clip, kMediaFrameMissing when the clip ends before a frame
// its container promised: the message names both counts.
MediaCode ReadClipFrame(ClipReader& reader, int32_t index, Frame& frame, std::string& message);

// Releases everything; the reader is empty afterwards. Safe to call twice.
void CloseClipReader(ClipReader& reader);
