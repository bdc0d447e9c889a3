#include "ClipSource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "BuiltInMedia.h"
#include "MediaResult.h"
#include "Png.h"

namespace {

MediaCode Shown(ClipSource& source, int32_t index) {
    source.shown = index;
    ++source.loads;
    return kMediaOk;
}

bool HasPngExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".png";
}

}  // namespace

bool IsStillPngName(const std::string& path) { return path.find('%') == std::string::npos && HasPngExtension(path); }

bool IsStillPngInput(const std::string& path) {
    if (!HasPngExtension(path)) return false;
    std::error_code error;
    const bool isFile = std::filesystem::is_regular_file(path, error);
    if (!isFile && path.find('%') != std::string::npos) return false;  // frames of a pattern
    return !isFile || PngAnimationFrames(path.c_str()) <= 1;
}

MediaCode OpenStillSource(ClipSource& source, const char* path, std::string& message) {
    CloseClipSource(source);
    source.kind = kSourceStill;
    const MediaCode result =
        path != nullptr ? ReadPng(path, source.frame, message, &source.sampleBits) : MakeTestImage(source.frame);
    if (result != kMediaOk) return result;
    source.frameCount = 1;
    return Shown(source, 0);
}

MediaCode OpenBuiltInClipSource(ClipSource& source, std::string& message) {
    CloseClipSource(source);
    source.kind = kSourceBuiltInClip;
    source.frameCount = kTestClipFrames;
    source.rateNumerator = kTestClipRate;
    const MediaCode result = LoadSourceFrame(source, 0);
    if (result != kMediaOk) message = source.message;
    return result;
}

MediaCode OpenClipSource(ClipSource& source, const char* path, std::string& message, StopProbe stop,
                         const char* shownAs) {
    CloseClipSource(source);
    source.kind = kSourceClip;
    source.name = path;
    source.label = shownAs ? shownAs : Quoted(path);
    MediaCode result = OpenClipReader(source.reader, path, message, stop, shownAs);
    if (result != kMediaOk) return result;
    source.frameCount = source.reader.frameCount;
    source.sampleBits = source.reader.sampleBits;
    source.rateNumerator = source.reader.rateNumerator;
    source.rateDenominator = source.reader.rateDenominator;
    result = LoadSourceFrame(source, 0);
    if (result != kMediaOk) message = source.message;
    return result;
}

MediaCode LoadSourceFrame(ClipSource& source, int32_t index) {
    MediaCode result = kMediaOk;
    switch (source.kind) {
    case kSourceStill: return Shown(source, index);
    case kSourceBuiltInClip:
        result = MakeTestClipFrame(index, source.frame);
        if (result != kMediaOk)
            source.message = "frame " + std::to_string(index) + " is outside the built-in clip (frames 0 to " +
                             std::to_string(kTestClipFrames - 1) + ")";
        break;
    case kSourceClip: result = ReadClipFrame(source.reader, index, source.frame, source.message); break;
    }
    if (result != kMediaOk) {
        source.failure = result;
        return result;
    }
    return Shown(source, index);
}

void CloseClipSource(ClipSource& source) {
    CloseClipReader(source.reader);
    source = ClipSource{};
}
