// The writers behind ClipWriter, each with a state of its own behind one
// interface: a container's, through FFmpeg's encoders and muxers
// (ContainerWriter.cpp), and a numbered PNG pattern's, one file per frame
// (PatternWriter.cpp). ClipWriter.cpp checks what every writer is given
// and dispatches to one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClipWriter.h"

// What a writer is opened with, checked already.
struct WriterSetup {
    std::string path;  // as messages name it: "standard output" for "-"
    bool toStandardOutput = false;
    ClipFormat format = kClipMkv;
    int32_t width = 0;
    int32_t height = 0;
    int32_t rateNumerator = 0;
    int32_t rateDenominator = 1;
    int32_t encoderThreads = 1;  // threads the encoding may use, at least 1
    ClipWriterOptions options;
};

struct ClipWriterState {
    virtual ~ClipWriterState() = default;  // removes everything not committed
    // Appends frame `index` (the frames written before it: 0 first).
    virtual MediaCode Write(const Frame& frame, int32_t index, std::string& message) = 0;
    // Flushes the encoding and completes the temporary files.
    virtual MediaCode Complete(std::string& message, StopProbe stop) = 0;
    // Moves what Complete made into place.
    virtual MediaCode Commit(std::string& message) = 0;
    // Frames encoded at once, each by an encoder of its own.
    virtual int32_t Encoders() const = 0;

    std::string path;              // as messages name it
    MediaCode failure = kMediaOk;  // once set, the clip is lost and says why
    std::string failureMessage;
    bool completed = false;  // everything is written; only the move into place is left
};

// Keeps `code` and `message` as the writer's failure; gives them back.
MediaCode Fail(ClipWriterState& s, MediaCode code, const std::string& message, std::string& out);

// A container (every ClipFormat but kClipPngSequence), its temporary file
// made, its header written. Says what the output leaves out or changes in
// `notes`.
MediaCode OpenContainerWriter(const WriterSetup& setup, ClipWriterHandle& writer, std::vector<std::string>& notes,
                              std::string& message);

// A numbered PNG pattern, its folder proved writable.
MediaCode OpenPatternWriter(const WriterSetup& setup, ClipWriterHandle& writer, std::string& message);
