// Writes a clip as a numbered PNG pattern, one file per frame, encoded on
// threads of their own.
#include <cerrno>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

#include "ClipWriterKinds.h"
#include "FramePattern.h"
#include "MediaResult.h"
#include "OutputFile.h"
#include "Png.h"
#include "WorkerThread.h"

// A numbered PNG pattern: the names, each frame's staging, and the frames
// being encoded, oldest first, each on a thread of its own.
struct PatternWriter final : ClipWriterState {
    ~PatternWriter() override;
    MediaCode Write(const Frame& frame, int32_t index, std::string& message) override;
    MediaCode Complete(std::string&, StopProbe) override { return kMediaOk; }  // each frame is complete as it goes
    MediaCode Commit(std::string& message) override;
    int32_t Encoders() const override { return encoderThreads; }

    bool replace = true;         // an existing frame may be replaced (-y)
    int32_t encoderThreads = 1;  // frames encoded at once
    FramePattern pattern;
    std::vector<StagedOutput> frameOutputs;
    struct PngJob {
        Frame frame;
        std::string temporary, name;
        MediaCode result = kMediaOk;
        std::string message;
        WorkerThread thread;
    };
    std::deque<std::unique_ptr<PngJob>> pngJobs;
    // Frames of finished jobs, taken again: a new frame's memory would be
    // cleared page by page by the system, which costs more than the copy.
    std::vector<Frame> spareFrames;
};

namespace {

// Waits for the oldest frame being encoded; its result.
MediaCode FinishOldestPng(PatternWriter& s, std::string& message) {
    std::unique_ptr<PatternWriter::PngJob> job = std::move(s.pngJobs.front());
    s.pngJobs.pop_front();
    JoinWorkerThread(job->thread);
    message = job->message;
    s.spareFrames.push_back(std::move(job->frame));
    return job->result;
}

MediaCode FinishAllPngs(PatternWriter& s, std::string& message) {
    MediaCode result = kMediaOk;
    while (!s.pngJobs.empty()) {
        std::string why;
        const MediaCode done = FinishOldestPng(s, why);
        if (result == kMediaOk && done != kMediaOk) {
            result = done;
            message = why;
        }
    }
    return result;
}

MediaCode OpenPattern(PatternWriter& s, std::string& message) {
    // Creating and removing the first frame's temporary proves the folder
    // is writable before any rendering starts.
    std::string problem;
    if (!ParseFramePattern(s.path, &s.pattern, &problem)) {
        message = CannotWriteMessage(s.path, problem);
        return kMediaUnsupported;
    }
    std::string first = FrameFileName(s.pattern, 0);
    std::string probe = TemporaryNameFor(first);
    FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) {
        message = CannotWriteMessage(first, ErrnoText(errno));
        return kMediaCannotWrite;
    }
    std::fclose(file);
    DiscardOutput(probe);
    return kMediaOk;
}

// PNG encoding is the slow part of a pattern and every frame is a file of
// its own, so frames are encoded on encoderThreads threads at once; a
// failure shows at a later frame or at the finish.
MediaCode WritePatternFrame(PatternWriter& s, int32_t index, const Frame& frame, std::string& message) {
    if (s.pngJobs.size() >= size_t(s.encoderThreads)) {
        const MediaCode result = FinishOldestPng(s, message);
        if (result != kMediaOk) return Fail(s, result, message, message);
    }
    auto job = std::make_unique<PatternWriter::PngJob>();
    if (!s.spareFrames.empty()) {
        job->frame = std::move(s.spareFrames.back());
        s.spareFrames.pop_back();
    }
    job->frame = frame;
    const StagedOutput staged = StageOutput(FrameFileName(s.pattern, index), s.replace);
    job->name = staged.name;
    job->temporary = staged.temporary;
    // The file is made here, so a frame that cannot be written fails now
    // and the temporary exists as soon as the frame is taken.
    FILE* file = std::fopen(job->temporary.c_str(), "wb");
    if (!file) return Fail(s, kMediaCannotWrite, CannotWriteMessage(job->name, ErrnoText(errno)), message);
    std::fclose(file);
    s.frameOutputs.push_back(staged);
    PatternWriter::PngJob* work = job.get();
    std::string refused;
    const bool started = StartWorkerThread(
        work->thread,
        [work] {
            work->result = EncodePngFile(work->temporary.c_str(), work->name.c_str(), work->frame, work->message,
                                         nullptr, kPngFast);
        },
        refused);
    if (!started) return Fail(s, kMediaCannotWrite, CannotWriteMessage(job->name, refused), message);
    s.pngJobs.push_back(std::move(job));
    return kMediaOk;
}

MediaCode CommitPattern(PatternWriter& s, std::string& message) {
    if (MediaCode result = FinishAllPngs(s, message); result != kMediaOk) return Fail(s, result, message, message);
    for (size_t i = 0; i < s.frameOutputs.size(); ++i) {
        MediaCode result = CommitOutput(s.frameOutputs[i], message);
        if (result != kMediaOk) {
            // Frames already moved into place go too: no partial sequence.
            for (size_t done = 0; done < i; ++done) DiscardOutput(s.frameOutputs[done].target);
            s.frameOutputs.erase(s.frameOutputs.begin(), s.frameOutputs.begin() + long(i) + 1);
            return Fail(s, result, message, message);
        }
    }
    s.frameOutputs.clear();
    return kMediaOk;
}

}  // namespace

PatternWriter::~PatternWriter() {
    std::string ignored;
    FinishAllPngs(*this, ignored);  // their files go below
    for (const StagedOutput& frame : frameOutputs) DiscardOutput(frame.temporary);
}

MediaCode PatternWriter::Write(const Frame& frame, int32_t index, std::string& message) {
    return WritePatternFrame(*this, index, frame, message);
}

MediaCode PatternWriter::Commit(std::string& message) { return CommitPattern(*this, message); }

MediaCode OpenPatternWriter(const WriterSetup& setup, ClipWriterHandle& writer, std::string& message) {
    ClipWriterHandle handle(new PatternWriter);
    auto& s = static_cast<PatternWriter&>(*handle);
    s.path = setup.path;
    s.replace = setup.options.replaceExisting;
    s.encoderThreads = setup.encoderThreads;
    const MediaCode result = OpenPattern(s, message);
    if (result == kMediaOk) writer = std::move(handle);
    return result;
}
