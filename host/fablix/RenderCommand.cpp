// fablix render [block options] [--time T] [--total N] [--frames A:B] [--threads N]
//               [--quiet] [-y | -n] [INPUT] OUTPUT
// A still output (a plain .png) gets one frame; any other output is a clip
// whose kind follows its extension. Frame i of a clip renders at time i with
// total = the clip's last index.
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include <strings.h>

#include "ClipPipeline.h"
#include "ClipSource.h"
#include "ClipWriter.h"
#include "SoundTranscode.h"
#include "Commands.h"
#include "EncoderArguments.h"
#include "FormulaCheck.h"
#include "FramePattern.h"
#include "FrameRange.h"
#include "InputFiles.h"
#include "Interrupt.h"
#include "MediaResult.h"
#include "OutputFile.h"
#include "OutputOptions.h"
#include "Png.h"
#include "Progress.h"
#include "Renderer.h"
#include "StandardInput.h"

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
    bool allowFailing = false;  // render a block whose formulas do not all compile
    bool noAudio = false;       // the output leaves the input's sound out
    OverwritePolicy overwrite = kKeepExisting;
    int32_t threads = 0;  // 0: every core
    EncoderOptions encoder;
    std::vector<std::string> paths;  // [input] output
};

// What the command line asks for, once its paths are known.
struct RenderJob {
    bool stillOutput = false;     // a plain .png, or one picture of another kind: one frame
    bool stillInput = false;      // a plain .png input, or the built-in image
    const char* input = nullptr;  // null: built-in picture
    std::string shownInput;       // as messages name it
    std::string spool;            // standard input, kept in this file; empty: none
    std::string output;
    bool toStandardOutput = false;  // OUTPUT "-"
    ClipFormat format = kClipMkv;   // of a clip output
};

constexpr const char* kStandardStream = "-";

bool ParseInt32(const std::string& text, int32_t* value) { return ParseNumber(text, INT32_MIN, INT32_MAX, value); }

ExitCode TakeValue(Arguments& args, const std::string& option, RenderOptions* options) {
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
    if (!ParseInt32(value, isTime ? &options->time : &options->total)) {
        if (IsWholeNumberText(value))
            return UsageError(option + " " + value + " is out of range: it wants a whole number from " +
                              std::to_string(INT32_MIN) + " to " + std::to_string(INT32_MAX));
        return UsageError(option + " wants a whole number: '" + value + "'");
    }
    (isTime ? options->timeGiven : options->totalGiven) = true;
    return kExitOk;
}

ExitCode TakeRenderOptions(Arguments& args, RenderOptions* options) {
    while (!args.Done()) {
        if (args.TakeOptionsEnd()) continue;
        if (args.optionsEnded) {
            options->paths.push_back(args.Take());
            continue;
        }
        OptionTake taken = TakeBlockOption(args, &options->block);
        if (taken == kNotThisOption) taken = TakeOverwriteOption(args, &options->overwrite);
        if (taken == kNotThisOption) taken = TakeEncoderOption(args, &options->encoder);
        if (taken == kOptionBad) return kExitUsage;
        if (taken == kOptionTaken) continue;
        const std::string argument = args.Take();
        if (argument == "--time" || argument == "--total" || argument == "--frames" || argument == "--threads") {
            if (ExitCode taken = TakeValue(args, argument, options); taken != kExitOk) return taken;
        } else if (argument == "--quiet") {
            options->quiet = true;
        } else if (argument == "--allow-failing" || argument == "--keep-going") {
            options->allowFailing = true;
        } else if (argument == "--no-audio" || argument == "-an") {
            options->noAudio = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else {
            options->paths.push_back(argument);
        }
    }
    if (options->paths.empty() || options->paths.size() > 2) return UsageError("render wants [INPUT] OUTPUT");
    return kExitOk;
}

// What an existing OUTPUT given alone seems to be: a user who meant it as
// the INPUT has left out the OUTPUT.
std::string LoneOutputGuess(const RenderJob& job) {
    if (!InputFileProblem(job.output).empty()) return "";  // a pipe is not even looked into
    if (job.stillOutput && HasPngSignature(job.output.c_str())) return "reads as a picture";
    if (job.stillOutput || job.format == kClipPngSequence) return "";
    std::string message;
    ClipReader reader;
    const bool clip = OpenClipReader(reader, job.output.c_str(), message) == kMediaOk;
    CloseClipReader(reader);
    return clip ? "reads as a clip" : "";
}

// An existing OUTPUT is kept unless -y says otherwise; a PNG pattern's
// frames are looked at once the range is known.
ExitCode CheckOutputName(const RenderOptions& options, const RenderJob& job) {
    if (!job.stillOutput && job.format == kClipPngSequence) return kExitOk;
    std::string why;
    if (options.paths.size() == 1 && options.overwrite == kKeepExisting && NameExists(job.output)) {
        why = LoneOutputGuess(job);
        if (!why.empty()) why += ": if it is meant as the INPUT, an OUTPUT is missing (render [INPUT] OUTPUT)";
    }
    return RefuseExistingOutput(job.output, options.overwrite, why);
}

// Every frame name of a PNG pattern that the render would write, checked
// against the folder's names at once rather than one frame at a time.
ExitCode CheckPatternOutput(const std::string& output, int32_t frameCount, OverwritePolicy overwrite) {
    FramePattern pattern;
    std::string problem;
    if (overwrite == kReplaceExisting || !ParseFramePattern(output, &pattern, &problem)) return kExitOk;
    std::error_code error;
    int64_t first = -1;
    for (const auto& entry :
         std::filesystem::directory_iterator(pattern.folder.empty() ? "." : pattern.folder, error)) {
        const int64_t index = FrameIndexOfName(pattern, entry.path().filename().string());
        if (index >= 0 && index < frameCount && (first < 0 || index < first)) first = index;
    }
    if (first < 0) return kExitOk;
    return UsageError("'" + FrameFileName(pattern, first) + "' exists (a frame of '" + output +
                      "'); give -y (--overwrite) to replace the frames, or choose another name");
}

// The folder an output goes into must be there: it is not made, since a
// mistyped folder would then take the output where nobody looks for it.
ExitCode CheckOutputFolder(const RenderJob& job) {
    const std::string folder = std::filesystem::path(job.output).parent_path().string();
    std::error_code error;
    if (folder.empty() || std::filesystem::exists(folder, error)) return kExitOk;
    return Failure(CannotWriteMessage(job.output, "folder " + Quoted(folder) + " does not exist"));
}

// The kind written to standard output, which -f names.
ExitCode CheckStandardOutput(const RenderOptions& options, RenderJob* job) {
    job->toStandardOutput = true;
    if (options.encoder.format.empty() || !ClipFormatForName(options.encoder.format, job->format))
        return UsageError("OUTPUT '-' (standard output) wants -f FORMAT, one of y4m, nut, rawvideo, png, matroska" +
                          (options.encoder.format.empty() ? std::string() : ": '" + options.encoder.format + "'"));
    if (options.timeGiven)
        return UsageError("--time is for a still output; a clip renders each frame at its index (see --frames)");
    return kExitOk;
}

// Refuses options that the kinds of input and output give no meaning to.
ExitCode CheckJob(const RenderOptions& options, RenderJob* job) {
    job->output = options.paths.back();
    job->input = options.paths.size() == 2 ? options.paths[0].c_str() : nullptr;
    job->shownInput = job->input == nullptr ? "" : Quoted(job->input);
    const std::string& sound = options.encoder.audioCodec;
    if (sound != "copy" && FindSoundEncoder(sound) == nullptr)
        return UsageError("-c:a " + sound + ": this build of FFmpeg has no audio encoder '" + sound +
                          "' (copy keeps the sound as it is, -an leaves it out)");
    if (!options.encoder.audioBitRate.empty() && sound == "copy")
        return UsageError("-b:a is for re-encoded sound: name its encoder with -c:a (aac, libopus, ...)");
    if (job->output == kStandardStream) {
        job->stillInput = job->input != nullptr && IsStillPngInput(job->input);
        return CheckStandardOutput(options, job);
    }
    if (!options.encoder.format.empty())
        return UsageError("-f is for OUTPUT '-' (standard output); the kind of '" + job->output +
                          "' follows its extension");
    ClipFormat named = kClipMkv;
    std::string unused;
    job->stillOutput = IsStillPngName(job->output) ||
                       (ClipFormatForPath(job->output.c_str(), named, unused) == kMediaOk && IsOnePictureFormat(named));
    job->format = named;
    job->stillInput = job->input != nullptr ? IsStillPngInput(job->input) : job->stillOutput;
    if (!job->stillOutput) {
        std::string message;
        if (ClipFormatForPath(job->output.c_str(), job->format, message) != kMediaOk) return UsageError(message);
        if (options.timeGiven)
            return UsageError("--time is for a still output; a clip renders each frame at its index (see --frames)");
        if (options.totalGiven && !job->stillInput)
            return UsageError("--total is for a still input; a clip's total is its last frame index");
        // A clip of total + 1 frames: the count must fit too.
        if (options.totalGiven && (options.total < 0 || options.total == INT32_MAX))
            return UsageError("--total for a clip wants a number from 0 to " + std::to_string(INT32_MAX - 1));
    } else {
        if (options.framesGiven)
            return UsageError("--frames is for a clip output; a still output takes one frame (see --time)");
        if (options.totalGiven && !job->stillInput)
            return UsageError("--total is for a still input; a clip's total is its last frame index");
    }
    if (ExitCode status = CheckOutputFolder(*job); status != kExitOk) return status;
    return CheckOutputName(options, *job);
}

// INPUT "-": standard input, kept in a file beside the output's temporary
// files (so that a stop signal removes it with them), read from there.
ExitCode TakeStandardInput(RenderJob* job) {
    const std::filesystem::path folder = job->toStandardOutput ? std::filesystem::temp_directory_path()
                                                               : std::filesystem::path(job->output).parent_path();
    std::string message;
    const MediaCode result =
        SpoolStandardInput((folder / "standard-input").string(), job->spool, message, StopRequested);
    if (result == kMediaInterrupted || StopRequested()) return Interrupted();
    if (result != kMediaOk) return Failure(message);
    job->input = job->spool.c_str();
    job->shownInput = "standard input";
    job->stillInput = HasPngSignature(job->spool.c_str()) && PngAnimationFrames(job->spool.c_str()) <= 1;
    return kExitOk;
}

ExitCode OpenSource(const RenderJob& job, const RenderOptions& options, ClipSource& source) {
    std::string message;
    int32_t result = kMediaOk;
    if (job.input != nullptr && job.spool.empty()) {
        // A pipe is refused rather than read: its read could wait forever.
        if (const std::string problem = ExistingInputProblem(job.input); !problem.empty())
            return Failure(CannotOpenMessage(job.input, problem));
    }
    if (job.stillInput) {
        result = OpenStillSource(source, job.input, message);
        // A still is frame 0 of a clip of one frame, unless --total says longer.
        if (result == kMediaOk && !job.stillOutput) source.frameCount = options.total + 1;
    } else if (job.input == nullptr) {
        result = OpenBuiltInClipSource(source, message);
    } else {
        result = OpenClipSource(source, job.input, message, StopRequested,
                                job.spool.empty() ? nullptr : job.shownInput.c_str());
    }
    if (StopRequested()) return Interrupted();
    if (result != kMediaOk) return Failure(message);
    // A count from the duration may be off by one; more is a clip cut short.
    const int32_t declared = source.kind == kSourceClip ? source.reader.declaredFrames : 0;
    if (source.sampleBits > 8)
        Warning(job.shownInput + " has " + std::to_string(source.sampleBits) +
                "-bit samples; the formulas work on 8 bits, so its frames are reduced to 8 bits");
    if (declared > source.frameCount + 1)
        Warning(source.label + " declares " + std::to_string(declared) + " frames, but only " +
                std::to_string(source.frameCount) + " can be read; it is taken as frames 0 to " +
                std::to_string(source.frameCount - 1));
    return kExitOk;
}

// Ends a bar's line so that a message after it starts on a line of its own.
void BreakProgressLine(const Progress& progress) {
    if (progress.style == kProgressBar && progress.drawnLength > 0) std::fputc('\n', progress.out);
}

// Says once, on its own line, that the clip's frames change size.
void WarnOfResizedFrames(const ClipSource& source, const Progress& progress, bool* warned) {
    if (*warned || source.kind != kSourceClip || source.reader.resizedFrame < 0) return;
    *warned = true;
    BreakProgressLine(progress);
    const ClipReader& reader = source.reader;
    Warning("frame " + std::to_string(reader.resizedFrame) + " of " + source.label + " is " +
            std::to_string(reader.resizedWidth) + " x " + std::to_string(reader.resizedHeight) + ", not " +
            std::to_string(reader.width) + " x " + std::to_string(reader.height) +
            " like frame 0; frames of another size are scaled to " + std::to_string(reader.width) + " x " +
            std::to_string(reader.height));
}

// The end of every render: a failure that a stop request caused is the
// interruption it is.
ExitCode Failed(const std::string& message) { return StopRequested() ? Interrupted() : Failure(message); }

// A still of another kind than PNG: a clip of one frame, through FFmpeg.
ExitCode WritePicture(const Frame& frame, const std::string& path, const RenderOptions& options) {
    ClipWriterOptions writing;
    writing.replaceExisting = options.overwrite == kReplaceExisting;
    writing.encoder = options.encoder.video;
    ClipWriter writer;
    std::string message;
    MediaCode result = OpenClipWriter(writer, path.c_str(), frame.width, frame.height, 1, 1, writing, message);
    if (result == kMediaOk) result = WriteClipFrame(writer, frame, message);
    if (result == kMediaOk) result = CompleteClipWriter(writer, message, StopRequested);
    if (result == kMediaOk) {
        PausePointForTests("commit");
        result = CommitUnlessStopped([&] { return FinishClipWriter(writer, message); });
    }
    CloseClipWriter(writer);
    return result == kMediaOk ? kExitOk : Failed(message);
}

ExitCode WriteStill(const Frame& frame, const std::string& path, const RenderOptions& options) {
    if (!IsStillPngName(path)) return WritePicture(frame, path, options);
    const OverwritePolicy overwrite = options.overwrite;
    std::string message;
    const StagedOutput output = StageOutput(path, overwrite == kReplaceExisting);
    int32_t result = EncodePngFile(output.temporary.c_str(), path.c_str(), frame, message, StopRequested);
    if (result == kMediaOk) {
        PausePointForTests("commit");
        result = CommitUnlessStopped([&] { return CommitOutput(output, message); });
    }
    if (result == kMediaOk) return kExitOk;
    DiscardOutput(output.temporary);
    return Failed(message);
}

ExitCode RenderStill(const RenderJob& job, const RenderOptions& options, Renderer& renderer, ClipSource& source) {
    Frame destination;
    MakeFrame(destination, source.frame.width, source.frame.height);
    if (source.kind == kSourceStill) {
        RenderOneFrame(renderer, source.frame, destination, options.time, options.total);
        return WriteStill(destination, job.output, options);
    }
    if (!options.timeGiven && source.frameCount > 1)
        return UsageError("'" + job.output + "' is one picture, and the clip has " + std::to_string(source.frameCount) +
                          " frames: give --time T for the frame to take, or a numbered name such as frame%04d.png "
                          "for all of them");
    if (options.time < 0 || options.time >= source.frameCount)
        return UsageError("--time " + std::to_string(options.time) + " is outside the clip (frames 0 to " +
                          std::to_string(source.frameCount - 1) + ")");
    const MediaCode result =
        RenderClipFrame(renderer, source, destination, options.time, source.frameCount - 1, StopRequested);
    bool warned = false;
    WarnOfResizedFrames(source, Progress{}, &warned);
    if (result == kMediaInterrupted) return Interrupted();
    if (result != kMediaOk) return Failed(source.message);
    return WriteStill(destination, job.output, options);
}

// Renders frames.first to frames.last into the open writer and puts the
// clip in place. A clip that ends before the frames its header declares
// gives what it has, with a warning, unless --frames asked for the missing
// ones. kMediaOk, kMediaInterrupted, or another MediaCode with `message`.
MediaCode RenderFrames(const RenderOptions& options, const FrameRange& frames, Renderer& renderer, ClipSource& source,
                       ClipWriter& writer, Progress& progress, std::string& message) {
    // Frames leave the pipeline in order; the writer encodes on threads of its own.
    int32_t lastWritten = frames.first - 1;
    const FrameSink write = [&](int32_t time, const Frame& frame, std::string& why) {
        if (MediaCode written = WriteClipFrame(writer, frame, why); written != kMediaOk) return written;
        lastWritten = time;
        if (time == frames.first) PausePointForTests("frame");
        UpdateProgress(progress, time - frames.first + 1, ProgressClockSeconds());
        return kMediaOk;
    };
    MediaCode result = RunClipPipeline(renderer, source, frames.first, frames.last, source.frameCount - 1,
                                       StopRequested, write, message);
    // The pipeline's reader has stopped, so its notes on the clip are settled.
    bool warned = false;
    WarnOfResizedFrames(source, progress, &warned);
    if (result == kMediaFrameMissing && !options.framesGiven && lastWritten >= frames.first) {
        BreakProgressLine(progress);
        Warning(message + "; the output holds frames " + std::to_string(frames.first) + " to " +
                std::to_string(lastWritten));
        result = kMediaOk;
    }
    if (result != kMediaOk) return result;
    if (MediaCode completed = CompleteClipWriter(writer, message, StopRequested); completed != kMediaOk)
        return completed;
    PausePointForTests("commit");
    return CommitUnlessStopped([&] { return FinishClipWriter(writer, message); });
}

// A clip from a clip keeps the input's timing, colour, other streams and
// metadata.
ClipWriterOptions WriterOptions(const RenderOptions& options, const FrameRange& frames, const ClipSource& source) {
    ClipWriterOptions writing;
    writing.encoderThreads = options.threads;
    writing.frameCount = frames.last - frames.first + 1;
    writing.replaceExisting = options.overwrite == kReplaceExisting;
    if (source.kind != kSourceClip) return writing;
    const ClipReader& reader = source.reader;
    writing.timeBaseNumerator = reader.timeBaseNumerator;
    writing.timeBaseDenominator = reader.timeBaseDenominator;
    writing.firstTimestamp = reader.firstTimestamp;
    writing.cutToFrames = options.framesGiven;
    writing.colour = reader.colour;
    writing.carry = CarryRequest{source.name, reader.videoStream, options.noAudio, options.encoder.audioCodec,
                                 options.encoder.audioBitRate};
    return writing;
}

ClipWriterOptions WriterOptions(const RenderOptions& options, const RenderJob& job, const FrameRange& frames,
                                const ClipSource& source) {
    ClipWriterOptions writing = WriterOptions(options, frames, source);
    writing.encoder = options.encoder.video;
    writing.format = job.format;
    return writing;
}

ExitCode RenderClip(const RenderJob& job, const RenderOptions& options, Renderer& renderer, ClipSource& source) {
    FrameRange frames = options.frames;
    std::string message;
    if (!FitFrameRange(&frames, source.frameCount, &message)) return UsageError(message);
    if (ExitCode status = CheckPatternOutput(job.output, frames.last - frames.first + 1, options.overwrite);
        status != kExitOk)
        return status;
    ClipWriter writer;
    if (OpenClipWriter(writer, job.output.c_str(), source.frame.width, source.frame.height, source.rateNumerator,
                       source.rateDenominator, WriterOptions(options, job, frames, source), message) != kMediaOk)
        return Failed(message);
    for (const std::string& note : writer.notes) Warning(note);
    Progress progress;
    StartProgress(progress, ProgressStyleForStderr(options.quiet), stderr, frames.last - frames.first + 1,
                  ProgressClockSeconds());
    const MediaCode result = RenderFrames(options, frames, renderer, source, writer, progress, message);
    CloseClipWriter(writer);  // removes everything of an unfinished clip
    if (result == kMediaOk) {
        FinishProgress(progress, ProgressClockSeconds());
        return kExitOk;
    }
    BreakProgressLine(progress);
    return result == kMediaInterrupted ? Interrupted() : Failed(message);
}

ExitCode RenderJobFrom(RenderJob& job, RenderOptions& options, const FilterParams& params) {
    const int32_t threadsRequested = options.threads;
    ClipSource source;
    if (ExitCode status = OpenSource(job, options, source); status != kExitOk) return status;
    std::string lowered;
    options.threads = BoundThreadCount(options.threads, source.frame.width, source.frame.height, &lowered);
    if (!lowered.empty() && threadsRequested > 0)
        Warning("--threads " + std::to_string(threadsRequested) + " is lowered to " + std::to_string(options.threads) +
                ": " + lowered);
    Renderer renderer;
    StartRenderer(renderer, params, options.threads);
    const ExitCode status =
        job.stillOutput ? RenderStill(job, options, renderer, source) : RenderClip(job, options, renderer, source);
    CloseClipSource(source);
    return status;
}

}  // namespace

ExitCode RunRender(Arguments& args) {
    RenderOptions options;
    if (ExitCode status = TakeRenderOptions(args, &options); status != kExitOk) return status;
    RenderJob job;
    if (ExitCode status = CheckJob(options, &job); status != kExitOk) return status;
    auto params = std::make_unique<FilterParams>();
    if (BlockStatus status = BuildBlock(options.block, params.get()); status != kBlockOk) return BlockExitCode(status);
    const FormulaCheckWords words{"render", "rendering", job.output, ", and its channel would render as 0"};
    if (ExitCode status = CheckBlockFormulas(*params, options.allowFailing, words); status != kExitOk) return status;

    CatchStopSignals();
    // A reader that goes away is a failure to say, not a signal that kills.
    if (job.toStandardOutput) std::signal(SIGPIPE, SIG_IGN);
    if (job.input != nullptr && job.input == std::string(kStandardStream)) {
        if (ExitCode status = TakeStandardInput(&job); status != kExitOk) return status;
    }
    const ExitCode status = RenderJobFrom(job, options, *params);
    if (!job.spool.empty()) DiscardOutput(job.spool);
    return status;
}
