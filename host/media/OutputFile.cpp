#include "OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "MediaResult.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTemporarySuffix = ".part";

// The folder that the latest temporary was named in. Process-wide, as the
// out-of-memory handler can be given nothing; the one folder is enough, for
// every output of a command lies in one folder (a pattern's frames too).
struct TemporaryFolder {
    std::mutex lock;
    char path[PATH_MAX] = {};
};

TemporaryFolder& NotedFolder() {
    static TemporaryFolder folder;
    return folder;
}

void NoteTemporaryFolder(const std::string& folder) {
    TemporaryFolder& noted = NotedFolder();
    std::lock_guard<std::mutex> hold(noted.lock);
    std::snprintf(noted.path, sizeof noted.path, "%s", folder.empty() ? "." : folder.c_str());
}

// ".<name>.<pid>-<n>.part": a temporary of this process.
bool IsTemporaryOfThisProcess(const char* name, const char* pidTag) {
    const size_t length = std::strlen(name), suffix = std::strlen(kTemporarySuffix), tag = std::strlen(pidTag);
    if (name[0] != '.' || length <= suffix || std::strcmp(name + length - suffix, kTemporarySuffix) != 0) return false;
    size_t digits = length - suffix;
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    return digits < length - suffix && digits >= tag + 1 && std::strncmp(name + digits - tag, pidTag, tag) == 0;
}

// A file of mode 600 stays 600 when it is replaced, and keeps its owner
// where the system lets us give it.
void KeepModeOf(const std::string& target, const std::string& temporary) {
    struct stat old {};
    if (stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
    // The owner first: a change of owner clears the set-user-ID bits.
    if (chown(temporary.c_str(), old.st_uid, old.st_gid) != 0) {
        // Not ours to give: the new file stays the writer's.
    }
    chmod(temporary.c_str(), old.st_mode & 07777);
}

std::string ExistsMessage(const std::string& name) {
    return "'" + name +
           "' exists: it appeared while the output was being written, and is kept; give -y "
           "(--overwrite) to replace it, or choose another name";
}

// Puts `temporary` under `target` only while no such name exists: one
// rename where the file system can refuse to replace, else a hard link,
// which never replaces, and the removal of the temporary name.
int NoReplaceRename(const std::string& temporary, const std::string& target) {
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (link(temporary.c_str(), target.c_str()) != 0) return errno;
    unlink(temporary.c_str());
    return 0;
}

}  // namespace

StagedOutput StageOutput(const std::string& name, bool replace) {
    StagedOutput output;
    output.name = name;
    output.target = name;
    output.replace = replace;
    std::error_code error;
    if (replace && fs::is_symlink(fs::symlink_status(name, error))) {
        // A dangling link is replaced itself: there is no file to write through to.
        const fs::path real = fs::canonical(name, error);
        if (!error) output.target = real.string();
    }
    output.temporary = TemporaryNameFor(output.target);
    return output;
}

MediaCode CommitOutput(const StagedOutput& output, std::string& message) {
    int error = 0;
    if (output.replace) {
        KeepModeOf(output.target, output.temporary);
        if (std::rename(output.temporary.c_str(), output.target.c_str()) != 0) error = errno;
    } else {
        error = NoReplaceRename(output.temporary, output.target);
    }
    if (error == 0) return kMediaOk;
    DiscardOutput(output.temporary);
    message = error == EEXIST ? ExistsMessage(output.name) : CannotWriteMessage(output.name, ErrnoText(error));
    return kMediaCannotWrite;
}

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<uint32_t> counter{0};
    // Cut, so that the hidden name of a long name still fits a file name.
    constexpr size_t kKeptNameBytes = 200;
    fs::path target(path);
    std::string hidden = "." + target.filename().string().substr(0, kKeptNameBytes) + "." +
                         std::to_string(long(getpid())) + "-" + std::to_string(counter.fetch_add(1)) + kTemporarySuffix;
    NoteTemporaryFolder(target.parent_path().string());
    return (target.parent_path() / hidden).string();
}

void DiscardOutput(const std::string& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

void RemoveTemporariesOfThisProcess() {
    TemporaryFolder& noted = NotedFolder();
    if (!noted.lock.try_lock()) return;  // being noted on this very thread: nothing to go by
    char folder[PATH_MAX];
    std::memcpy(folder, noted.path, sizeof folder);
    noted.lock.unlock();
    if (folder[0] == 0) return;
    char pidTag[32];
    std::snprintf(pidTag, sizeof pidTag, ".%ld-", long(getpid()));
    const int directory = open(folder, O_RDONLY | O_DIRECTORY);
    if (directory < 0) return;
    // getdents64 into a buffer of our own: opendir would allocate.
    alignas(8) char entries[8192];
    for (;;) {
        const long got = syscall(SYS_getdents64, directory, entries, sizeof entries);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            struct Entry {
                uint64_t inode;
                int64_t offset;
                unsigned short length;
                unsigned char type;
                char name[1];
            };
            const Entry* entry = reinterpret_cast<const Entry*>(entries + at);
            if (IsTemporaryOfThisProcess(entry->name, pidTag)) unlinkat(directory, entry->name, 0);
            at += entry->length;
        }
    }
    close(directory);
}

std::string CannotWriteMessage(const std::string& path, const std::string& reason) {
    return "cannot write '" + path + "': " + reason;
}

std::string CannotOpenMessage(const std::string& path, const std::string& reason) {
    return "cannot open '" + path + "': " + reason;
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }
