#include "EditorFrames.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "InputFiles.h"
#include "Png.h"

namespace {

// Scratch files of this process, one name per encode.
std::string ScratchPngName() {
    static std::atomic<uint64_t> counter{0};  // only makes names unique
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    return (folder / ("fablix-edit-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".png")).string();
}

}  // namespace

bool OpenEditorFrames(EditorFrames& frames, const std::string& input, std::string& message) {
    MediaCode result = kMediaOk;
    if (input.empty()) {
        result = OpenBuiltInClipSource(frames.source, message);
    } else if (const std::string problem = ExistingInputProblem(input); !problem.empty()) {
        message = "cannot open '" + input + "': " + problem;
        return false;
    } else if (IsStillPngInput(input)) {
        frames.still = true;
        result = OpenStillSource(frames.source, input.c_str(), message);
    } else {
        result = OpenClipSource(frames.source, input.c_str(), message);
    }
    if (result != kMediaOk) return false;
    std::string lowered;
    frames.threads = BoundThreadCount(0, frames.source.frame.width, frames.source.frame.height, &lowered);
    return true;
}

int32_t LastFrame(const EditorFrames& frames) { return frames.still ? 0 : frames.source.frameCount - 1; }

bool RenderEditorFrame(EditorFrames& frames, const FilterParams& params, uint64_t version, int32_t time,
                       std::string& message) {
    if (frames.frameVersion == version && frames.frameTime == time) return true;
    if (frames.rendererVersion != version) {
        StartRenderer(frames.renderer, params, frames.threads);
        frames.rendererVersion = version;
    }
    ClipSource& source = frames.source;
    // The render writes every pixel, and leaves the source on the frame at
    // `time`: the original.
    if (frames.filtered.width != source.frame.width || frames.filtered.height != source.frame.height)
        MakeFrame(frames.filtered, source.frame.width, source.frame.height);
    frames.frameTime = -1;
    if (frames.still) {
        RenderOneFrame(frames.renderer, source.frame, frames.filtered, time, 0);
    } else if (RenderClipFrame(frames.renderer, source, frames.filtered, time, LastFrame(frames), nullptr) !=
               kMediaOk) {
        message = source.message;
        return false;
    }
    frames.frameVersion = version;
    frames.frameTime = time;
    return true;
}

// Through a file, since the encoder writes one: the bytes are then exactly
// those of the render command's still.
bool EncodeFramePng(const Frame& frame, std::vector<uint8_t>& png, std::string& message) {
    const std::string name = ScratchPngName();
    const bool encoded = EncodePngFile(name.c_str(), "the frame", frame, message) == kMediaOk;
    if (encoded) {
        std::ifstream in(name, std::ios::binary);
        png.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code error;
    std::filesystem::remove(name, error);
    return encoded;
}

// Nearest source pixel per target pixel: the preview is for the eye, and
// the PNG holds the exact frame.
void ScaleToRgba(const Frame& frame, int32_t width, int32_t height, std::vector<uint8_t>& rgba) {
    rgba.resize(size_t(width) * size_t(height) * 4);
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) columns[size_t(x)] = int32_t(int64_t(x) * frame.width / width);
    uint8_t* out = rgba.data();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = FramePixel(frame, 0, int32_t(int64_t(y) * frame.height / height));
        for (int32_t x = 0; x < width; ++x, out += 4) {
            const uint8_t* p = row + size_t(columns[size_t(x)]) * 4;
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
            out[3] = p[3];
        }
    }
}
