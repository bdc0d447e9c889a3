// rename() replaces in one step; fsync of the file before it and of the
// folder after it make both the data and the new name durable.
#include "SafeSave.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

bool FlushFileToDisk(FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

namespace {

std::string FolderOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return ".";
    if (slash == path) return "/";
    return std::string(path, static_cast<size_t>(slash - path));
}

}  // namespace

bool ReplaceWithFile(const char* from, const char* to) {
    if (std::rename(from, to) != 0) return false;
    // The rename has happened; a folder that cannot be synced (some file
    // systems refuse) leaves it in place but perhaps not yet durable.
    const int folder = open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder < 0) return true;
    fsync(folder);
    close(folder);
    return true;
}
