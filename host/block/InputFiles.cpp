#include "InputFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

std::string ProblemOf(const std::string& path, bool missingIsFine) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return missingIsFine && errno == ENOENT ? "" : std::generic_category().message(errno);
    if (S_ISDIR(info.st_mode)) return "it is a folder";
    if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode) && !S_ISBLK(info.st_mode))
        return "it is a pipe or socket, not a file";
    // Opening without waiting proves it readable (permissions, a device
    // that is busy) without taking anything from it.
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) return std::generic_category().message(errno);
    close(file);
    return "";
}

}  // namespace

std::string InputFileProblem(const std::string& path) { return ProblemOf(path, false); }

std::string ExistingInputProblem(const std::string& path) { return ProblemOf(path, true); }
