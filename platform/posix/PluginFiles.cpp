// The builder's file port over POSIX descriptors and mmap.
#include "PluginFiles.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kCopyChunk = 64 * 1024;

int32_t CopyText(const char* text, char* buffer, int32_t capacity) {
    const size_t length = strlen(text);
    if (capacity <= 0 || length >= static_cast<size_t>(capacity)) return 1;
    memcpy(buffer, text, length + 1);
    return 0;
}

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

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

int32_t OwnFilePath(char* buffer, int32_t capacity) {
    // The object that holds this very function: the plug-in library, or the
    // program when the code is linked into one.
    Dl_info info{};
    char path[PATH_MAX];
    if (dladdr(reinterpret_cast<void*>(&OwnFilePath), &info) != 0 && info.dli_fname != nullptr &&
        strchr(info.dli_fname, '/') != nullptr && realpath(info.dli_fname, path) != nullptr)
        return CopyText(path, buffer, capacity);
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return 1;
    path[length] = '\0';
    return CopyText(path, buffer, capacity);
}

intptr_t CreateCopyTarget(const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? kNoFileHandle : fd;
}

intptr_t OpenCopySource(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kNoFileHandle : fd;
}

int32_t CopyAll(intptr_t source, intptr_t target) {
    static_assert(kCopyChunk <= SSIZE_MAX);
    char* chunk = static_cast<char*>(malloc(kCopyChunk));
    if (chunk == nullptr) return 1;
    int32_t result = 1;
    for (;;) {
        const ssize_t got = read(Descriptor(source), chunk, kCopyChunk);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) result = 0;
        if (got <= 0 || !WriteAll(Descriptor(target), chunk, static_cast<size_t>(got))) break;
    }
    free(chunk);
    return result;
}

void CloseCopyHandle(intptr_t handle) { close(Descriptor(handle)); }

intptr_t OpenForUpdate(const char* path) {
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    return fd < 0 ? kNoFileHandle : fd;
}

// POSIX maps a descriptor directly; the "mapping" is a descriptor of its
// own, so that it is made and closed as the mapping object of Windows is.
intptr_t CreateWholeMapping(intptr_t file) {
    struct stat status{};
    if (fstat(Descriptor(file), &status) != 0 || status.st_size <= 0) return kNoFileHandle;
    const int fd = fcntl(Descriptor(file), F_DUPFD_CLOEXEC, 0);
    return fd < 0 ? kNoFileHandle : fd;
}

uint8_t* MapWholeView(intptr_t mapping, size_t* size) {
    struct stat status{};
    if (fstat(Descriptor(mapping), &status) != 0 || status.st_size <= 0) return nullptr;
    const size_t length = static_cast<size_t>(status.st_size);
    void* view = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, Descriptor(mapping), 0);
    if (view == MAP_FAILED) return nullptr;
    *size = length;
    return static_cast<uint8_t*>(view);
}

void UnmapWholeView(uint8_t* view, size_t size) { munmap(view, size); }

void CloseWholeMapping(intptr_t mapping) { close(Descriptor(mapping)); }

void CloseUpdatedFile(intptr_t file) { close(Descriptor(file)); }
