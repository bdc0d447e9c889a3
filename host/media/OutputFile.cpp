#include "OutputFile.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "MediaResult.h"

namespace fs = std::filesystem;

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<uint32_t> counter{0};
    // Cut, so that the hidden name of a long name still fits a file name.
    constexpr size_t kKeptNameBytes = 200;
    fs::path target(path);
    std::string hidden = "." + target.filename().string().substr(0, kKeptNameBytes) + "." +
                         std::to_string(long(getpid())) +
                         "-" + std::to_string(counter.fetch_add(1)) + ".part";
    return (target.parent_path() / hidden).string();
}

int32_t CommitOutput(const std::string& temporary, const std::string& path,
                     std::string& message) {
    std::error_code error;
    fs::rename(temporary, path, error);
    if (!error) return kMediaOk;
    DiscardOutput(temporary);
    message = CannotWriteMessage(path, error.message());
    return kMediaCannotWrite;
}

void DiscardOutput(const std::string& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

std::string CannotWriteMessage(const std::string& path, const std::string& reason) {
    return "cannot write '" + path + "': " + reason;
}

std::string CannotOpenMessage(const std::string& path, const std::string& reason) {
    return "cannot open '" + path + "': " + reason;
}

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}
