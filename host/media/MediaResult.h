// Result codes of the media layer. Every call that can fail returns one of
// these and, on failure, leaves a one-line message for the user in the
// `message` argument ("cannot open 'x.png': No such file or directory").
#pragma once

#include <cstdint>
#include <string>

enum MediaCode : int32_t {
    kMediaOk = 0,
    kMediaCannotOpen = 1,    // the input is missing or cannot be read
    kMediaNotPng = 2,        // the input is not a PNG file
    kMediaBadData = 3,       // the input is damaged or truncated
    kMediaUnsupported = 4,   // an input no decoder reads, or an output kind we do not write
    kMediaCannotWrite = 5,   // the output cannot be created, written or renamed into place
    kMediaTooLarge = 6,      // the frame would not fit the size limits
    kMediaBadArgument = 7,   // a wrong size, a frame index outside the clip, misuse
    kMediaEncodeFailed = 8,  // the encoder refused the frames
    kMediaFrameMissing = 9,  // the clip ended before a frame its container counted
    kMediaInterrupted = 10,  // the caller's StopProbe asked to stop
};

// Asked between steps of long work (rows, packets); true stops it.
using StopProbe = bool (*)();

// A path as messages show it: 'out/frame 1.png'.
std::string Quoted(const std::string& path);

// The short English name of a code, for logs and test failure output.
const char* MediaCodeName(MediaCode code);
