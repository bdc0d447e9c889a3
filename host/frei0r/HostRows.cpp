#include "HostRows.h"

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/version.h>
}

namespace {

constexpr int32_t kPixelBytes = 4;
// FFmpeg's frei0r filter keeps its two frames in its own frame, just above
// the plug-in's; a few hundred bytes more reach the functions above it.
constexpr size_t kCallerWindowBytes = 1024;
constexpr size_t kWindowWords = 512;

// The record's fields up to its pixel format, which have kept their places
// within each major version of libavutil.
constexpr size_t kRecordBytes = offsetof(AVFrame, format) + sizeof(int);

// Copies up to `bytes` of this process's memory at `address`, stopping
// where it is not mapped readable instead of faulting; the bytes copied.
size_t ReadOwnMemory(const void* address, void* into, size_t bytes) {
    iovec local{into, bytes};
    iovec remote{const_cast<void*>(address), bytes};
    const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    return copied > 0 ? static_cast<size_t>(copied) : 0;
}

// The libavutil in the process is the one whose record layout this file was
// compiled with.
bool SameFrameLayout() {
    using VersionFunction = unsigned (*)();
    auto version = reinterpret_cast<VersionFunction>(dlsym(RTLD_DEFAULT, "avutil_version"));
    return version != nullptr && AV_VERSION_MAJOR(version()) == LIBAVUTIL_VERSION_MAJOR;
}

// The frame record a word of the stack may point at; false where it cannot.
bool ReadRecord(uintptr_t address, AVFrame* record) {
    if (address == 0 || address % alignof(AVFrame) != 0) return false;
    return ReadOwnMemory(reinterpret_cast<const void*>(address), record, kRecordBytes) == kRecordBytes;
}

// The pitch of `record` when it describes `plane` of width x height BGRA;
// 0 otherwise.
int64_t PitchOfPlane(const AVFrame& record, const void* plane, int32_t width, int32_t height) {
    if (record.data[0] != plane || record.width != width || record.height != height || record.format != AV_PIX_FMT_BGRA)
        return 0;
    const int64_t pitch = record.linesize[0];
    const int64_t magnitude = pitch < 0 ? -pitch : pitch;
    return magnitude >= int64_t{width} * kPixelBytes && magnitude % kPixelBytes == 0 ? pitch : 0;
}

}  // namespace

HostCaller ClassifyCaller(const void* returnAddress) {
    Dl_info caller{};
    Dl_info filters{};
    void* filterSymbol = dlsym(RTLD_DEFAULT, "avfilter_version");
    if (filterSymbol == nullptr || dladdr(returnAddress, &caller) == 0 || dladdr(filterSymbol, &filters) == 0)
        return HostCaller::kPacked;
    return caller.dli_fbase == filters.dli_fbase ? HostCaller::kLibavfilter : HostCaller::kPacked;
}

bool FindFrameRows(const uintptr_t* words, size_t count, const void* in, const void* out, int32_t width, int32_t height,
                   FrameRows* rows) {
    if (!SameFrameLayout()) return false;
    FrameRows found;
    AVFrame record;
    for (size_t k = 0; k < count && (found.inPitch == 0 || found.outPitch == 0); ++k) {
        if (!ReadRecord(words[k], &record)) continue;
        if (found.inPitch == 0) found.inPitch = PitchOfPlane(record, in, width, height);
        if (found.outPitch == 0) found.outPitch = PitchOfPlane(record, out, width, height);
    }
    if (found.inPitch == 0 || found.outPitch == 0) return false;
    *rows = found;
    return true;
}

bool FindLibavfilterRows(const void* frameAddress, const void* in, const void* out, int32_t width, int32_t height,
                         FrameRows* rows) {
    uintptr_t words[kWindowWords];
    const uintptr_t low = reinterpret_cast<uintptr_t>(&words[kWindowWords]) & ~uintptr_t{alignof(uintptr_t) - 1};
    const uintptr_t high = reinterpret_cast<uintptr_t>(frameAddress) + kCallerWindowBytes;
    if (high <= low) return false;
    const size_t count = std::min<size_t>((high - low) / sizeof(uintptr_t), kWindowWords);
    // The stack may end within the window: what lies below its end is read.
    const size_t copied = ReadOwnMemory(reinterpret_cast<const void*>(low), words, count * sizeof(uintptr_t));
    return FindFrameRows(words, copied / sizeof(uintptr_t), in, out, width, height, rows);
}
