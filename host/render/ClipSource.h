// Where a render's source frames come from, as a host with a clip open
// sees it: a still image (the same picture at every time), the built-in
// test clip, or a clip that FFmpeg reads. `frame` is what the source map
// shows; LoadSourceFrame puts the frame at a time into it.
#pragma once

#include <cstdint>
#include <string>

#include "ClipReader.h"
#include "Frame.h"

enum SourceKind : int32_t {
    kSourceStill = 0,
    kSourceBuiltInClip = 1,
    kSourceClip = 2,
};

struct ClipSource {
    SourceKind kind = kSourceStill;
    std::string name;            // the input's path; empty for the built-in pictures
    std::string label;           // as messages name it: 'x.mp4', or standard input
    ClipReader reader;           // kSourceClip
    Frame frame;                 // the frame the source map shows
    int32_t shown = -1;          // its index; -1 before the first load
    int32_t frameCount = 0;      // a still counts as one frame
    int32_t rateNumerator = 24;  // frames per second of a clip made from it
    int32_t rateDenominator = 1;
    int32_t sampleBits = 8;        // of the input's own pixels; the frames hold 8
    int32_t loads = 0;             // frames loaded so far
    MediaCode failure = kMediaOk;  // of the last failed load, kMediaOk if none
    std::string message;           // and its one-line message
};

// A still image: ReadPng's result and message, or the built-in test image
// when `path` is null. Shows it as frame 0.
MediaCode OpenStillSource(ClipSource& source, const char* path, std::string& message);

// The built-in test clip (48 frames at 24 fps), showing frame 0.
MediaCode OpenBuiltInClipSource(ClipSource& source, std::string& message);

// A clip through ClipReader, showing frame 0; its frame rate is kept.
// `stop` ends FFmpeg's reads and waits, as OpenClipReader says.
// `shownAs`, when given, is how messages name it.
MediaCode OpenClipSource(ClipSource& source, const char* path, std::string& message, StopProbe stop = nullptr,
                         const char* shownAs = nullptr);

// Puts the frame at `index` into `frame`. A still shows the same picture
// whatever the index. On failure `failure` and `message` say why, and
// `frame` holds either an earlier frame or nothing at all.
MediaCode LoadSourceFrame(ClipSource& source, int32_t index);

void CloseClipSource(ClipSource& source);

// True for a name that ReadPng takes as a still image: a ".png" name (any
// case) without a "%" frame number pattern.
bool IsStillPngName(const std::string& path);

// True for an input that ReadPng takes as a still image: a ".png" name that
// is no frame number pattern, or a file whose name really holds a "%"; but
// not an animated PNG, which is read as a clip of its frames.
bool IsStillPngInput(const std::string& path);
