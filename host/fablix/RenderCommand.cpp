// fablix render [block options] [--time T] [--total N] [--frames A:B] [--threads N]
//               [--quiet] [INPUT] OUTPUT
// A still output (a plain .png) gets one frame; any other output is a clip
// whose kind follows its extension. Frame i of a clip renders at time i with
// total = the clip's last index.
#include <climits>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "ClipPipeline.h"
#include "ClipSource.h"
#include "ClipWriter.h"
#include "Commands.h"
#include "FrameRange.h"
#include "MediaResult.h"
#include "Png.h"
#include "Progress.h"
#include "Renderer.h"

namespace {

struct RenderOptions {
    BlockOptions block;
    int32_t time = 0;
    int32_t total = 0;
    bool timeGiven = false;
    bool totalGiven = false;
    bool framesGiven = false;
    FrameRange frames;
    bool quiet = false;
    int32_t threads = 0;  // 0: every core
    std::vector<std::string> paths;  // [input] output
};

// What the command line asks for, once its paths are known.
struct RenderJob {
    bool stillOutput = false;     // a plain .png: one frame
    bool stillInput = false;      // a plain .png input, or the built-in image
    const char* input = nullptr;  // null: built-in picture
    std::string output;
};

// Set by Ctrl-C (or a termination request); the render stops after the row
// in progress and nothing of the output is kept.
volatile std::sig_atomic_t gStopRequested = 0;

void RequestStop(int) { gStopRequested = 1; }

bool StopRequested() { return gStopRequested != 0; }

constexpr const char* kInterruptedMessage = "interrupted; nothing written";

int32_t Interrupted() {
    std::fprintf(stderr, "fablix: %s\n", kInterruptedMessage);
    return kExitInterrupted;
}

bool ParseInt32(const std::string& text, int32_t* value) {
    return ParseNumber(text, INT32_MIN, INT32_MAX, value);
}

int32_t TakeValue(Arguments& args, const std::string& option, RenderOptions* options) {
    if (args.Done()) return UsageError(option + " wants a value");
    const std::string value = args.Take();
    if (option == "--threads") return ParseThreads(value, &options->threads) ? kExitOk : kExitUsage;
    if (option == "--frames") {
        options->framesGiven = true;
        if (!ParseFrameRange(value, &options->frames))
            return UsageError("--frames wants A:B with whole numbers 0 <= A <= B (or A:, :B, N): '" + value + "'");
        return kExitOk;
    }
    const bool isTime = option == "--time";
    if (!ParseInt32(value, isTime ? &options->time : &options->total))
        return UsageError(option + " wants a whole number: '" + value + "'");
    (isTime ? options->timeGiven : options->totalGiven) = true;
    return kExitOk;
}

int32_t TakeRenderOptions(Arguments& args, RenderOptions* options) {
    while (!args.Done()) {
        const int32_t status = TakeBlockOption(args, &options->block);
        if (status == kExitOk) continue;
        if (status != -1) return status;
        const std::string argument = args.Take();
        if (argument == "--time" || argument == "--total" || argument == "--frames" || argument == "--threads") {
            if (int32_t taken = TakeValue(args, argument, options); taken != kExitOk) return taken;
        } else if (argument == "--quiet") {
            options->quiet = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else {
            options->paths.push_back(argument);
        }
    }
    if (options->paths.empty() || options->paths.size() > 2)
        return UsageError("render wants [INPUT] OUTPUT");
    return kExitOk;
}

// Refuses options that the kinds of input and output give no meaning to.
int32_t CheckJob(const RenderOptions& options, RenderJob* job) {
    job->output = options.paths.back();
    job->input = options.paths.size() == 2 ? options.paths[0].c_str() : nullptr;
    job->stillOutput = IsStillPngName(job->output);
    job->stillInput = job->input != nullptr ? IsStillPngName(job->input) : job->stillOutput;
    if (!job->stillOutput) {
        ClipFormat format;
        std::string message;
        if (ClipFormatForPath(job->output.c_str(), format, message) != kMediaOk) return UsageError(message);
        if (options.timeGiven) return UsageError("--time is for a still output; a clip renders each frame at its index (see --frames)");
        if (options.totalGiven && !job->stillInput)
            return UsageError("--total is for a still input; a clip's total is its last frame index");
        // A clip of total + 1 frames: the count must fit too.
        if (options.totalGiven && (options.total < 0 || options.total == INT32_MAX))
            return UsageError("--total for a clip wants a number from 0 to " + std::to_string(INT32_MAX - 1));
    } else {
        if (options.framesGiven) return UsageError("--frames is for a clip output; a still output takes one frame (see --time)");
        if (options.totalGiven && !job->stillInput)
            return UsageError("--total is for a still input; a clip's total is its last frame index");
    }
    return kExitOk;
}

int32_t OpenSource(const RenderJob& job, const RenderOptions& options, ClipSource& source) {
    std::string message;
    int32_t result = kMediaOk;
    if (job.stillInput) {
        result = OpenStillSource(source, job.input, message);
        // A still is frame 0 of a clip of one frame, unless --total says longer.
        if (result == kMediaOk && !job.stillOutput) source.frameCount = options.total + 1;
    } else if (job.input == nullptr) {
        result = OpenBuiltInClipSource(source);
        message = source.message;
    } else {
        result = OpenClipSource(source, job.input, message);
    }
    return result == kMediaOk ? kExitOk : Failure(message);
}

int32_t WriteStill(Frame& frame, const std::string& path) {
    std::string message;
    return WritePng(path.c_str(), frame, message) == kMediaOk ? kExitOk : Failure(message);
}

int32_t RenderStill(const RenderJob& job, const RenderOptions& options, Renderer& renderer, ClipSource& source) {
    Frame destination;
    MakeFrame(destination, source.frame.width, source.frame.height);
    if (source.kind == kSourceStill) {
        RenderOneFrame(renderer, source.frame, destination, options.time, options.total);
        // This render asks no probe; a Ctrl-C during it still writes nothing.
        if (StopRequested()) return Interrupted();
        return WriteStill(destination, job.output);
    }
    if (options.time < 0 || options.time >= source.frameCount)
        return Failure("--time " + std::to_string(options.time) + " is outside the clip (frames 0 to " +
                       std::to_string(source.frameCount - 1) + ")");
    const int32_t result =
        RenderClipFrame(renderer, source, destination, options.time, source.frameCount - 1, StopRequested);
    if (result == kRenderInterrupted) return Interrupted();
    if (result != kRenderDone) return Failure(source.message);
    return WriteStill(destination, job.output);
}

// Ends a bar's line so that a message after it starts on a line of its own.
void BreakProgressLine(const Progress& progress) {
    if (progress.style == kProgressBar && progress.drawnLength > 0) std::fputc('\n', progress.out);
}

int32_t RenderClip(const RenderJob& job, const RenderOptions& options, Renderer& renderer, ClipSource& source) {
    FrameRange frames = options.frames;
    std::string message;
    if (!FitFrameRange(&frames, source.frameCount, &message)) return UsageError(message);
    const int32_t total = source.frameCount - 1;

    ClipWriter writer;
    if (OpenClipWriter(writer, job.output.c_str(), source.frame.width, source.frame.height, source.rateNumerator,
                       source.rateDenominator, message) != kMediaOk)
        return Failure(message);

    Progress progress;
    StartProgress(progress, ProgressStyleForStderr(options.quiet), stderr, frames.last - frames.first + 1,
                  ProgressClockSeconds());
    // Frames leave the pipeline in order; the encoder runs threads of its own.
    const FrameSink write = [&](int32_t time, const Frame& frame, std::string& why) {
        const int32_t written = WriteClipFrame(writer, frame, why);
        if (written == kMediaOk) UpdateProgress(progress, time - frames.first + 1, ProgressClockSeconds());
        return written;
    };
    const int32_t result =
        RunClipPipeline(renderer, source, frames.first, frames.last, total, StopRequested, write, message);
    int32_t status = kExitOk;
    if (result == kRenderInterrupted) {
        message = kInterruptedMessage;
        status = kExitInterrupted;
    } else if (result != kRenderDone) {
        status = kExitFailed;
    }
    if (status == kExitOk && FinishClipWriter(writer, message) != kMediaOk) status = kExitFailed;
    CloseClipWriter(writer);  // removes everything of an unfinished clip
    if (status != kExitOk) {
        BreakProgressLine(progress);
        std::fprintf(stderr, "fablix: %s\n", message.c_str());
        return status;
    }
    FinishProgress(progress, ProgressClockSeconds());
    return kExitOk;
}

}  // namespace

int32_t RunRender(Arguments& args) {
    RenderOptions options;
    if (int32_t status = TakeRenderOptions(args, &options); status != kExitOk) return status;
    RenderJob job;
    if (int32_t status = CheckJob(options, &job); status != kExitOk) return status;
    auto params = std::make_unique<FilterParams>();
    if (int32_t status = BuildBlock(options.block, params.get()); status != kExitOk) return status;

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    ClipSource source;
    if (int32_t status = OpenSource(job, options, source); status != kExitOk) return status;
    Renderer renderer;
    StartRenderer(renderer, *params, options.threads > 0 ? options.threads : DefaultThreadCount());
    const int32_t status = job.stillOutput ? RenderStill(job, options, renderer, source)
                                           : RenderClip(job, options, renderer, source);
    CloseClipSource(source);
    return status;
}
