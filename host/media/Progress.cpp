#include "Progress.h"

#include <cmath>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr int kBarCells = 30;

double FramesPerSecond(int32_t done, double elapsedSeconds) { return elapsedSeconds > 0 ? done / elapsedSeconds : 0; }

std::string RateText(int32_t done, double elapsedSeconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f fps", FramesPerSecond(done, elapsedSeconds));
    return text;
}

std::string TimeLeftText(int32_t done, int32_t total, double elapsedSeconds) {
    double rate = FramesPerSecond(done, elapsedSeconds);
    if (done <= 0 || rate <= 0) return DurationText(-1) + " left";
    return DurationText((total - done) / rate) + " left";
}

}  // namespace

ProgressStyle ProgressStyleForStderr(bool quiet) {
    if (quiet) return kProgressQuiet;
    return isatty(fileno(stderr)) ? kProgressBar : kProgressLines;
}

std::string DurationText(double seconds) {
    if (!(seconds >= 0) || seconds > 1e9) return "-:--";
    long whole = long(std::lround(seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string ProgressBarText(int32_t done, int32_t total, double elapsedSeconds) {
    int filled = total > 0 ? int(int64_t(done) * kBarCells / total) : 0;
    if (filled > kBarCells) filled = kBarCells;
    std::string bar = "[" + std::string(size_t(filled), '#') + std::string(size_t(kBarCells - filled), '-') + "]";
    char counts[48];
    int width = int(std::to_string(total).size());
    std::snprintf(counts, sizeof counts, " %*d/%d  ", width, done, total);
    return bar + counts + RateText(done, elapsedSeconds) + "  " + TimeLeftText(done, total, elapsedSeconds);
}

std::string ProgressLineText(int32_t done, int32_t total, double elapsedSeconds) {
    int percent = total > 0 ? int(int64_t(done) * 100 / total) : 0;
    return std::to_string(done) + "/" + std::to_string(total) + " frames (" + std::to_string(percent) + "%), " +
           RateText(done, elapsedSeconds) + ", " + TimeLeftText(done, total, elapsedSeconds);
}

std::string ProgressSummaryText(int32_t done, double elapsedSeconds) {
    return std::to_string(done) + (done == 1 ? " frame in " : " frames in ") + DurationText(elapsedSeconds) + " (" +
           RateText(done, elapsedSeconds) + ")";
}

double ProgressClockSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void StartProgress(Progress& progress, ProgressStyle style, FILE* out, int32_t total, double nowSeconds) {
    progress = Progress{};
    progress.style = out ? style : kProgressQuiet;
    progress.out = out;
    progress.total = total;
    progress.startSeconds = nowSeconds;
}

void UpdateProgress(Progress& p, int32_t done, double nowSeconds) {
    p.done = done;
    double elapsed = nowSeconds - p.startSeconds;
    if (p.style == kProgressBar) {
        bool last = done >= p.total;
        if (!last && p.lastDrawSeconds >= 0 && nowSeconds - p.lastDrawSeconds < 0.1) return;
        std::string text = ProgressBarText(done, p.total, elapsed);
        size_t length = text.size();
        if (length < p.drawnLength) text += std::string(p.drawnLength - length, ' ');
        std::fprintf(p.out, "\r%s", text.c_str());
        std::fflush(p.out);
        p.drawnLength = length;
        p.lastDrawSeconds = nowSeconds;
    } else if (p.style == kProgressLines && p.total > 0) {
        int32_t tenth = int32_t(int64_t(done) * 10 / p.total);
        if (tenth <= p.lastTenth) return;
        p.lastTenth = tenth;
        std::fprintf(p.out, "%s\n", ProgressLineText(done, p.total, elapsed).c_str());
        std::fflush(p.out);
    }
}

void FinishProgress(Progress& p, double nowSeconds) {
    if (p.style == kProgressQuiet) return;
    std::string text = ProgressSummaryText(p.done, nowSeconds - p.startSeconds);
    if (p.style == kProgressBar) {
        if (text.size() < p.drawnLength) text += std::string(p.drawnLength - text.size(), ' ');
        std::fprintf(p.out, "\r%s\n", text.c_str());
    } else {
        std::fprintf(p.out, "%s\n", text.c_str());
    }
    std::fflush(p.out);
    p.style = kProgressQuiet;  // finished: later calls draw nothing
}
