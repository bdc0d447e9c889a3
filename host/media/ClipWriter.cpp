#include "ClipWriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "ClipWriterKinds.h"
#include "FfmpegSupport.h"
#include "FramePattern.h"
#include "MediaResult.h"
#include "OutputFile.h"

namespace {

// Every kind of output there is, stills included: a user who names another
// kind learns them all here.
constexpr const char* kKindsWeWrite =
    "use .png, .jpg, .webp or .tiff for a still image, or .mp4, .mov, .mkv, .webm, .gif, .y4m, .nut or a numbered "
    "PNG pattern such as frame%04d.png for a clip";

std::string LowerExtension(const char* path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return extension;
}

// The open writer that has not failed, or null with why.
ClipWriterState* Usable(ClipWriter& writer, MediaCode& code, std::string& message) {
    ClipWriterState* s = writer.state.get();
    if (s == nullptr) {
        message = "no clip is being written";
        code = kMediaBadArgument;
    } else if (s->failure != kMediaOk) {
        message = s->failureMessage;
        code = s->failure;
        s = nullptr;
    }
    return s;
}

}  // namespace

void ClipWriterDeleter::operator()(ClipWriterState* state) const { delete state; }

MediaCode Fail(ClipWriterState& s, MediaCode code, const std::string& message, std::string& out) {
    s.failure = code;
    s.failureMessage = message;
    out = message;
    return code;
}

MediaCode ClipFormatForPath(const char* path, ClipFormat& format, std::string& message) {
    // clang-format off
    static constexpr struct { const char* extension; ClipFormat format; } kExtensions[] = {
        {".mp4", kClipMp4}, {".mov", kClipMov}, {".mkv", kClipMkv}, {".gif", kClipGif}, {".webm", kClipWebm},
        {".y4m", kClipY4m}, {".nut", kClipNut}, {".jpg", kClipJpeg}, {".jpeg", kClipJpeg}, {".webp", kClipWebp},
        {".tif", kClipTiff}, {".tiff", kClipTiff},
    };
    // clang-format on
    const std::string extension = LowerExtension(path);
    for (const auto& known : kExtensions) {
        if (extension != known.extension) continue;
        format = known.format;
        return kMediaOk;
    }
    if (extension == ".png") {
        FramePattern pattern;
        std::string problem;
        if (!ParseFramePattern(path, &pattern, &problem)) {
            message = CannotWriteMessage(path, problem);
            return kMediaUnsupported;
        }
        format = kClipPngSequence;
        return kMediaOk;
    }
    message = CannotWriteMessage(path, std::string("unknown kind of output; ") + kKindsWeWrite);
    return kMediaUnsupported;
}

bool ClipFormatForName(const std::string& name, ClipFormat& format) {
    // clang-format off
    static constexpr struct { const char* name; ClipFormat format; } kNames[] = {
        {"y4m", kClipY4m}, {"yuv4mpegpipe", kClipY4m}, {"nut", kClipNut}, {"rawvideo", kClipRawVideo},
        {"png", kClipPngStream}, {"image2pipe", kClipPngStream}, {"matroska", kClipMkv}, {"mkv", kClipMkv},
    };
    // clang-format on
    for (const auto& known : kNames) {
        if (name != known.name) continue;
        format = known.format;
        return true;
    }
    return false;
}

bool IsOnePictureFormat(ClipFormat format) { return format == kClipJpeg || format == kClipWebp || format == kClipTiff; }

MediaCode OpenClipWriter(ClipWriter& writer, const char* path, int32_t width, int32_t height, int32_t rateNumerator,
                         int32_t rateDenominator, std::string& message, int32_t encoderThreads, int32_t frameCount,
                         bool replaceExisting) {
    ClipWriterOptions options;
    options.encoderThreads = encoderThreads;
    options.frameCount = frameCount;
    options.replaceExisting = replaceExisting;
    return OpenClipWriter(writer, path, width, height, rateNumerator, rateDenominator, options, message);
}

MediaCode OpenClipWriter(ClipWriter& writer, const char* path, int32_t width, int32_t height, int32_t rateNumerator,
                         int32_t rateDenominator, const ClipWriterOptions& options, std::string& message) {
    CloseClipWriter(writer);
    const bool toStandardOutput = std::strcmp(path, "-") == 0;
    ClipFormat format = options.format;
    MediaCode result = toStandardOutput ? kMediaOk : ClipFormatForPath(path, format, message);
    if (result != kMediaOk) return result;
    if (!FrameSizeFits(width, height)) {
        message = CannotWriteMessage(path, "frames of " + std::to_string(width) + " x " + std::to_string(height) +
                                               " cannot be written");
        return kMediaBadArgument;
    }
    if (rateNumerator < 1 || rateDenominator < 1) {
        message = CannotWriteMessage(path, "the frame rate must be above 0");
        return kMediaBadArgument;
    }
    PrepareFfmpeg();
    WriterSetup setup;
    setup.path = toStandardOutput ? "standard output" : path;
    setup.toStandardOutput = toStandardOutput;
    setup.format = format;
    setup.width = width;
    setup.height = height;
    setup.rateNumerator = rateNumerator;
    setup.rateDenominator = rateDenominator;
    setup.encoderThreads = options.encoderThreads > 0 ? options.encoderThreads
                                                      : int32_t(std::max(1u, std::thread::hardware_concurrency()));
    setup.options = options;
    std::vector<std::string> notes;
    result = format == kClipPngSequence ? OpenPatternWriter(setup, writer.state, message)
                                        : OpenContainerWriter(setup, writer.state, notes, message);
    if (result != kMediaOk) return result;
    writer.width = width;
    writer.height = height;
    writer.encoders = writer.state->Encoders();
    writer.format = format;
    writer.notes = std::move(notes);
    return kMediaOk;
}

MediaCode WriteClipFrame(ClipWriter& writer, const Frame& frame, std::string& message) {
    MediaCode code = kMediaOk;
    ClipWriterState* s = Usable(writer, code, message);
    if (s == nullptr) return code;
    if (!FrameIsWhole(frame) || frame.width != writer.width || frame.height != writer.height) {
        return Fail(*s, kMediaBadArgument,
                    CannotWriteMessage(s->path, "a frame of " + std::to_string(frame.width) + " x " +
                                                    std::to_string(frame.height) + " does not fit a clip of " +
                                                    std::to_string(writer.width) + " x " +
                                                    std::to_string(writer.height)),
                    message);
    }
    const MediaCode result = s->Write(frame, writer.framesWritten, message);
    if (result == kMediaOk) ++writer.framesWritten;
    return result;
}

MediaCode CompleteClipWriter(ClipWriter& writer, std::string& message, StopProbe stop) {
    MediaCode code = kMediaOk;
    ClipWriterState* s = Usable(writer, code, message);
    if (s == nullptr) return code;
    if (writer.framesWritten == 0)
        return Fail(*s, kMediaBadArgument, CannotWriteMessage(s->path, "the clip has no frames"), message);
    if (s->completed) return kMediaOk;
    const MediaCode result = s->Complete(message, stop);
    s->completed = result == kMediaOk;
    return result;
}

MediaCode FinishClipWriter(ClipWriter& writer, std::string& message) {
    MediaCode result = CompleteClipWriter(writer, message);
    if (result == kMediaOk) result = writer.state->Commit(message);
    CloseClipWriter(writer);
    return result;
}

void CloseClipWriter(ClipWriter& writer) { writer = ClipWriter{}; }  // the state removes what it has not committed
