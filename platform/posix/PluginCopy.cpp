// The copy port over POSIX descriptors.
#include "PluginCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

constexpr size_t kCopyChunk = 64 * 1024;

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

bool WriteAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t written = write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

intptr_t CreateCopyTarget(const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? kNoCopyHandle : fd;
}

intptr_t OpenCopySource(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kNoCopyHandle : fd;
}

bool CopyAll(intptr_t source, intptr_t target) {
    static_assert(kCopyChunk <= SSIZE_MAX);
    char* chunk = static_cast<char*>(malloc(kCopyChunk));
    if (chunk == nullptr) return false;
    bool copied = false;
    for (;;) {
        const ssize_t got = read(Descriptor(source), chunk, kCopyChunk);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) copied = true;
        if (got <= 0 || !WriteAll(Descriptor(target), chunk, static_cast<size_t>(got))) break;
    }
    free(chunk);
    return copied;
}

void CloseCopyHandle(intptr_t handle) { close(Descriptor(handle)); }
