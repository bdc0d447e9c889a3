// What the clip reader and writer share about FFmpeg's libraries: its log
// is kept off the terminal (it would tear the progress bar) and its last
// error line is kept to explain a failure in our own one-line message.
#pragma once

#include <string>

// Installs the quiet log callback; cheap after the first call.
void PrepareFfmpeg();

// Forgets the last logged error, before a call whose failure we may explain.
void ForgetFfmpegDetail();

// FFmpeg's text for an AVERROR value, plus the last error line it logged
// since ForgetFfmpegDetail when there is one: "Invalid argument (width not
// divisible by 2)".
std::string FfmpegErrorText(int error);
