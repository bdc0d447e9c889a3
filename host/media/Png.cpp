#include "Png.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include <png.h>

#include "MediaResult.h"
#include "OutputFile.h"

// libpng reports errors by longjmp to the setjmp of the running call. The
// functions holding a setjmp below keep only trivially destructible locals,
// so jumping back into them skips no destructor.

namespace {

struct PngErrorText {
    char text[256] = {};
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp text) {
    auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
    std::snprintf(error->text, sizeof error->text, "%s", text ? text : "unknown error");
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}  // warnings do not stop a read

// The most a PNG file is read for: the largest frame's pixels at 16 bits a
// sample, with room for chunks around them. A device or a file that goes on
// past it holds no picture the tool can take, and reading stops there.
constexpr uint64_t kMostPngFileBytes = 3 * uint64_t(kMaxFrameBytes);

struct PngInput {
    FILE* file = nullptr;
    uint64_t room = kMostPngFileBytes;  // bytes the reads may still take
};

void ReadPngBytes(png_structp png, png_bytep bytes, size_t length) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (length > input->room) png_error(png, "it goes on past 3 GiB, more than any picture that can be read");
    input->room -= length;
    if (std::fread(bytes, 1, length, input->file) != length) png_error(png, "Read Error");
}

// The chunk that makes a PNG animated; libpng has no meaning for it, so it
// is kept as an unknown chunk to be looked at.
constexpr png_byte kAnimationChunk[5] = {'a', 'c', 'T', 'L', 0};
constexpr size_t kAnimationChunkBytes = 8;  // frame count, play count

// The frame count of an animation control chunk among the unknown chunks
// read so far; 0 for none.
uint32_t AnimationFrames(png_structp png, png_infop info) {
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count; ++i) {
        const png_unknown_chunk& chunk = chunks[i];
        if (std::memcmp(chunk.name, kAnimationChunk, 4) != 0 || chunk.size < kAnimationChunkBytes) continue;
        return png_get_uint_32(chunk.data);
    }
    return 0;
}

struct ReadHeaderResult {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    uint32_t animationFrames = 0;  // from acTL; 0: not animated
    size_t rowBytes = 0;           // of a row as we read it
    uint64_t storedBytes = 0;      // of the image data before compression, as the file stores it
    int32_t sampleBits = 8;        // of the file's own samples
};

// Deflate turns at most 258 bytes into 2 bits, so no compressed stream
// expands to more than 1032 times its size (plus a little at its start).
constexpr uint64_t kMostDeflateRatio = 1032;
constexpr uint64_t kDeflateSlack = 1024;

// True when a file of `fileBytes` cannot hold the image data its header
// declares: a damaged or hostile header, refused before any allocation.
bool DeclaresMoreThanItHolds(const ReadHeaderResult& header, uint64_t fileBytes) {
    return fileBytes > 0 && header.storedBytes > fileBytes * kMostDeflateRatio + kDeflateSlack;
}

// Reads the chunks before the image data and asks libpng for BGRA rows.
bool ReadPngHeader(png_structp png, png_infop info, PngInput* input, ReadHeaderResult* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, input, ReadPngBytes);
    png_set_sig_bytes(png, 8);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kAnimationChunk, 1);
    png_read_info(png, info);
    header->animationFrames = AnimationFrames(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    // Each row is stored with one filter byte in front.
    header->storedBytes = uint64_t(height) * (uint64_t(png_get_rowbytes(png, info)) + 1);
    bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (hasTransparency) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    header->width = width;
    header->height = height;
    header->rowBytes = png_get_rowbytes(png, info);
    header->sampleBits = bitDepth;
    return true;
}

bool ReadPngRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

enum WriteOutcome : int32_t { kWritten, kWriteFailed, kWriteStopped };

// Frames of a clip are written fast rather than small. Measured on 1080p
// frames (a test pattern and the default block's busy output): the "up"
// filter at deflate level 2 encodes 1.8 to 3.6 times faster than unfiltered
// rows at level 6 (FFmpeg's PNG defaults), in files 4 to 17 % larger, and
// about 4 times faster than libpng's defaults (adaptive filters, level 6),
// which stills keep, in files 12 to 24 % larger.
constexpr int kFastFilters = PNG_FILTER_UP;
constexpr int kFastDeflateLevel = 2;

// Row by row, so that `stop` is asked between rows of a large picture.
WriteOutcome WritePngRows(png_structp png, png_infop info, FILE* file, const Frame* frame, png_bytepp rows,
                          StopProbe stop, PngEffort effort) {
    if (setjmp(png_jmpbuf(png))) return kWriteFailed;
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(frame->width), png_uint_32(frame->height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (effort == kPngFast) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, kFastFilters);
        png_set_compression_level(png, kFastDeflateLevel);
    }
    png_write_info(png, info);
    png_set_bgr(png);
    for (int32_t y = 0; y < frame->height; ++y) {
        if (stop && stop()) return kWriteStopped;
        png_write_row(png, rows[y]);
    }
    png_write_end(png, nullptr);
    return kWritten;
}

}  // namespace

MediaCode ReadPng(const char* path, Frame& frame, std::string& message, int32_t* sampleBits) {
    frame = Frame{};
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        message = CannotOpenMessage(path, ErrnoText(errno));
        return kMediaCannotOpen;
    }
    std::error_code noSize;  // a device has none: then the size check is skipped
    const uint64_t fileBytes =
        std::filesystem::is_regular_file(path, noSize) ? std::filesystem::file_size(path, noSize) : 0;
    png_byte signature[8] = {};
    size_t got = std::fread(signature, 1, sizeof signature, file);
    if (got != sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
        bool readError = std::ferror(file) != 0;
        int error = errno;
        std::fclose(file);
        if (readError) {
            message = CannotOpenMessage(path, ErrnoText(error));
            return kMediaCannotOpen;
        }
        message = Quoted(path) + " is not a PNG file";
        return kMediaNotPng;
    }

    PngErrorText error;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(file);
        message = Quoted(path) + " cannot be read: out of memory";
        return kMediaTooLarge;
    }

    MediaCode result = kMediaOk;
    ReadHeaderResult header;
    PngInput input;
    input.file = file;
    input.room -= sizeof signature;
    if (!ReadPngHeader(png, info, &input, &header)) {
        message = Quoted(path) + " is damaged: " + error.text;
        result = kMediaBadData;
    } else if (DeclaresMoreThanItHolds(header, fileBytes)) {
        message = Quoted(path) + " is damaged: it declares " + std::to_string(header.width) + " x " +
                  std::to_string(header.height) + " pixels, more than its " + std::to_string(fileBytes) +
                  " bytes can hold";
        result = kMediaBadData;
    } else if (header.width > 0x7FFFFFFF || header.height > 0x7FFFFFFF ||
               (result = MakeFrame(frame, int32_t(header.width), int32_t(header.height))) != kMediaOk) {
        message = Quoted(path) + " is too large (" + std::to_string(header.width) + " x " +
                  std::to_string(header.height) + ")";
        result = kMediaTooLarge;
    } else if (header.rowBytes != size_t(frame.rowBytes)) {
        message = Quoted(path) + " has a pixel layout that cannot be read";
        result = kMediaBadData;
    } else {
        std::vector<png_bytep> rows(size_t(frame.height));
        for (int32_t y = 0; y < frame.height; ++y) rows[size_t(y)] = FramePixel(frame, 0, y);
        if (!ReadPngRows(png, info, rows.data())) {
            message = Quoted(path) + " is damaged: " + error.text;
            result = kMediaBadData;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (result != kMediaOk) frame = Frame{};
    if (result == kMediaOk && sampleBits) *sampleBits = header.sampleBits;
    return result;
}

uint32_t PngAnimationFrames(const char* path) {
    png_byte signature[8] = {};
    FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    uint32_t frames = 0;
    if (std::fread(signature, 1, sizeof signature, file) == sizeof signature &&
        png_sig_cmp(signature, 0, sizeof signature) == 0) {
        PngErrorText error;
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        PngInput input;
        input.file = file;
        ReadHeaderResult header;
        if (info && ReadPngHeader(png, info, &input, &header)) frames = header.animationFrames;
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
    std::fclose(file);
    return frames;
}

bool HasPngSignature(const char* path) {
    png_byte signature[8] = {};
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    const size_t got = std::fread(signature, 1, sizeof signature, file);
    std::fclose(file);
    return got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0;
}

MediaCode EncodePngFile(const char* file, const char* shownPath, const Frame& frame, std::string& message,
                        StopProbe stop, PngEffort effort) {
    if (!FrameIsWhole(frame)) {
        message = CannotWriteMessage(shownPath, "the frame has no pixels of its size");
        return kMediaBadArgument;
    }
    FILE* out = std::fopen(file, "wb");
    if (!out) {
        message = CannotWriteMessage(shownPath, ErrnoText(errno));
        return kMediaCannotWrite;
    }
    PngErrorText error;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(out);
        message = CannotWriteMessage(shownPath, "out of memory");
        return kMediaCannotWrite;
    }
    std::vector<png_bytep> rows(size_t(frame.height));
    for (int32_t y = 0; y < frame.height; ++y)
        rows[size_t(y)] = const_cast<png_bytep>(FramePixel(frame, 0, y));  // libpng only reads them

    errno = 0;
    const WriteOutcome outcome = WritePngRows(png, info, out, &frame, rows.data(), stop, effort);
    const bool written = outcome == kWritten;
    int writeError = errno;  // libpng's "Write Error" hides the cause, errno keeps it
    png_destroy_write_struct(&png, &info);
    // A full disk may show only when the buffered tail is flushed.
    bool flushed = std::fflush(out) == 0 && !std::ferror(out);
    int flushError = errno;
    bool closed = std::fclose(out) == 0;
    if (written && flushed && closed) return kMediaOk;
    if (outcome == kWriteStopped) {
        message = CannotWriteMessage(shownPath, "interrupted");
        return kMediaInterrupted;
    }
    std::string reason = !written && writeError ? ErrnoText(writeError)
                         : !written             ? std::string(error.text)
                         : flushError           ? ErrnoText(flushError)
                                                : std::string("write error");
    message = CannotWriteMessage(shownPath, reason);
    return kMediaCannotWrite;
}

MediaCode WritePng(const char* path, const Frame& frame, std::string& message, StopProbe stop) {
    const StagedOutput output = StageOutput(path, true);
    MediaCode result = EncodePngFile(output.temporary.c_str(), path, frame, message, stop);
    if (result != kMediaOk) {
        DiscardOutput(output.temporary);
        return result;
    }
    return CommitOutput(output, message);
}
