// What the clip reader and writer share about FFmpeg's libraries: its log
// is kept off the terminal (it would tear the progress bar), and the last
// error line it logs about a reader's or writer's own contexts explains
// that reader's or writer's failure in our own one-line message.
#pragma once

#include <mutex>
#include <string>

struct AVCodecContext;
struct AVFormatContext;

// The last error line FFmpeg logged about the contexts kept here; their
// threads log too, so it has a lock of its own.
struct FfmpegDetail {
    std::mutex lock;
    std::string line;
};

// Installs the quiet log callback; cheap after the first call.
void PrepareFfmpeg();

// Keeps the error lines FFmpeg logs about `context` in `detail`, through the
// context's `opaque`; a null context is left alone.
void KeepFfmpegDetail(AVFormatContext* context, FfmpegDetail* detail);
void KeepFfmpegDetail(AVCodecContext* context, FfmpegDetail* detail);

// Forgets the last kept error, before a call whose failure we may explain.
void ForgetFfmpegDetail(FfmpegDetail& detail);

// FFmpeg's text for an AVERROR value, plus the last error line kept in
// `detail` since ForgetFfmpegDetail when there is one: "Invalid argument
// (width not divisible by 2)".
std::string FfmpegErrorText(int error, FfmpegDetail& detail);
