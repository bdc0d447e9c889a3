// The encoder options of render, in FFmpeg's spelling: -c:v, -crf, -preset,
// -pix_fmt, -b:v, -c:a, -f, and --encoder-option KEY=VALUE for anything the
// encoder takes beyond those.
#pragma once

#include <string>

#include "Arguments.h"
#include "ClipWriter.h"

struct EncoderOptions {
    EncoderSettings video;
    std::string audioCodec = "copy";  // -c:a: the sound is copied as it is
    std::string format;               // -f: the kind written to standard output
};

// Reads one encoder option at args.Peek() into `options`, consuming it and
// its value.
OptionTake TakeEncoderOption(Arguments& args, EncoderOptions* options);
