#include "StandardInput.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "OutputFile.h"

namespace {

constexpr size_t kSpoolChunkBytes = size_t{1} << 20;

}  // namespace

MediaCode SpoolStandardInput(const std::string& near, std::string& spool, std::string& message, StopProbe stop) {
    spool = TemporaryNameFor(near);
    FILE* file = std::fopen(spool.c_str(), "wb");
    if (file == nullptr) {
        message = CannotWriteMessage(spool, ErrnoText(errno)) + " (to keep standard input)";
        spool.clear();
        return kMediaCannotWrite;
    }
    std::vector<char> chunk(kSpoolChunkBytes);
    MediaCode result = kMediaOk;
    for (;;) {
        if (stop && stop()) {
            result = kMediaInterrupted;
            message = "standard input was not read: interrupted";
            break;
        }
        const ssize_t got = read(STDIN_FILENO, chunk.data(), chunk.size());
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result = kMediaCannotOpen;
            message = CannotOpenMessage("standard input", ErrnoText(errno));
            break;
        }
        if (std::fwrite(chunk.data(), 1, size_t(got), file) != size_t(got)) {
            result = kMediaCannotWrite;
            message = CannotWriteMessage(spool, ErrnoText(errno)) + " (to keep standard input)";
            break;
        }
    }
    if (std::fclose(file) != 0 && result == kMediaOk) {
        result = kMediaCannotWrite;
        message = CannotWriteMessage(spool, ErrnoText(errno)) + " (to keep standard input)";
    }
    if (result != kMediaOk) {
        DiscardOutput(spool);
        spool.clear();
    }
    return result;
}
