#include "FileMapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool MapFile(const char* path, bool writable, MappedFile* mapped) {
    *mapped = MappedFile{nullptr, 0, false, {-1, 0}};
    const int descriptor = open(path, writable ? O_RDWR : O_RDONLY);
    if (descriptor < 0) return false;
    struct stat status {};
    void* bytes = MAP_FAILED;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
        bytes = mmap(nullptr, static_cast<size_t>(status.st_size), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                     MAP_SHARED, descriptor, 0);
    if (bytes == MAP_FAILED) {
        close(descriptor);
        return false;
    }
    *mapped = MappedFile{static_cast<uint8_t*>(bytes), status.st_size, writable, {descriptor, 0}};
    return true;
}

bool UnmapFile(MappedFile* mapped) {
    if (mapped->bytes == nullptr) return true;
    const size_t size = static_cast<size_t>(mapped->size);
    const int descriptor = static_cast<int>(mapped->system[0]);
    bool ok = true;
    if (mapped->writable) ok = msync(mapped->bytes, size, MS_SYNC) == 0 && fsync(descriptor) == 0;
    ok = munmap(mapped->bytes, size) == 0 && ok;
    ok = close(descriptor) == 0 && ok;
    *mapped = MappedFile{nullptr, 0, false, {-1, 0}};
    return ok;
}
