// The plug-in's own file through the dynamic loader: dladdr on a routine of
// this image names the file it came from.
#include "OwnModule.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

int32_t OwnFilePath(char* buffer, int32_t capacity) {
    if (buffer == nullptr || capacity <= 0) return -1;
    buffer[0] = '\0';
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFilePath), &info) == 0 || info.dli_fname == nullptr) return -1;
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return -1;
    const size_t length = std::strlen(resolved);
    if (length + 1 > static_cast<size_t>(capacity)) return -1;
    std::memcpy(buffer, resolved, length + 1);
    return static_cast<int32_t>(length);
}

namespace {

struct Search {
    const char* name;    // as asked
    bool withExtension;  // the name carries a '.'
    bool found;
};

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// "name.so", or a versioned "name.so.N...", for a name without extension.
bool IsLibraryOf(const char* base, const char* name, size_t length) {
    if (strncasecmp(base, name, length) != 0) return false;
    const char* rest = base + length;
    return strcasecmp(rest, ".so") == 0 || strncasecmp(rest, ".so.", 4) == 0;
}

int VisitModule(dl_phdr_info* info, size_t, void* data) {
    Search* search = static_cast<Search*>(data);
    // The program itself is listed without a name.
    char program[PATH_MAX];
    const char* path = info->dlpi_name ? info->dlpi_name : "";
    if (path[0] == '\0') {
        const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
        program[length > 0 ? length : 0] = '\0';
        path = program;
    }
    const char* base = BaseName(path);
    if (search->withExtension)
        search->found = strcasecmp(base, search->name) == 0;
    else
        search->found =
            strcasecmp(base, search->name) == 0 || IsLibraryOf(base, search->name, std::strlen(search->name));
    return search->found ? 1 : 0;
}

}  // namespace

bool IsModuleLoaded(const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    Search search{name, std::strchr(name, '.') != nullptr, false};
    dl_iterate_phdr(VisitModule, &search);
    return search.found;
}
