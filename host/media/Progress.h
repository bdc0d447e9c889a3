// Progress of a long render on stderr: on a terminal one bar redrawn in
// place, otherwise a plain line every tenth of the way (logs stay short),
// and nothing at all when quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

enum ProgressStyle : int32_t {
    kProgressQuiet = 0,
    kProgressBar = 1,    // a terminal: "\r" redraws
    kProgressLines = 2,  // a pipe or file: whole lines only
};

// The style for stderr: quiet when asked, a bar when stderr is a terminal,
// lines otherwise.
ProgressStyle ProgressStyleForStderr(bool quiet);

struct Progress {
    ProgressStyle style = kProgressQuiet;
    FILE* out = nullptr;
    int32_t total = 0;
    int32_t done = 0;
    double startSeconds = 0;
    double lastDrawSeconds = -1;
    int32_t lastTenth = 0;   // lines printed so far, in tenths of the total
    size_t drawnLength = 0;  // of the bar on screen, to blank a shorter one
};

// Starts counting `total` frames at time `nowSeconds` (any steady clock).
void StartProgress(Progress& progress, ProgressStyle style, FILE* out, int32_t total, double nowSeconds);

// Records that `done` frames are finished at `nowSeconds`. Bars redraw at
// most ten times a second.
void UpdateProgress(Progress& progress, int32_t done, double nowSeconds);

// The closing line: "48 frames in 0:02 (24.0 fps)". A bar is replaced by it.
void FinishProgress(Progress& progress, double nowSeconds);

// Seconds on a steady clock, for the calls above.
double ProgressClockSeconds();

// The texts, kept apart from the drawing so they can be checked exactly.
// "[#####-----]  12/48   6.0 fps  0:06 left"
std::string ProgressBarText(int32_t done, int32_t total, double elapsedSeconds);
// "12/48 frames (25%), 6.0 fps, 0:06 left"
std::string ProgressLineText(int32_t done, int32_t total, double elapsedSeconds);
std::string ProgressSummaryText(int32_t done, double elapsedSeconds);
// "0:06", "1:02:03"; "-:--" for an unknown time.
std::string DurationText(double seconds);
