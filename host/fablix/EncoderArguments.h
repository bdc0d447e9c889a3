// The encoder options of render, in FFmpeg's spelling: -c:v, -crf, -preset,
// -pix_fmt, -b:v, -c:a, -b:a, -f, and --encoder-option KEY=VALUE for anything the
// encoder takes beyond those.
#pragma once

#include <string>

#include "Arguments.h"
#include "ClipWriter.h"

struct EncoderOptions {
    EncoderSettings video;
    std::string audioCodec = "copy";  // -c:a: the sound is copied as it is, or re-encoded by this encoder
    std::string audioBitRate;         // -b:a: the re-encoded sound's bit rate
    std::string format;               // -f: the kind written to standard output
};

// Reads one encoder option at args.Peek() into `options`, consuming it and
// its value.
OptionTake TakeEncoderOption(Arguments& args, EncoderOptions* options);
