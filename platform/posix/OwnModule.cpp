// The plug-in's own file through the dynamic loader: dladdr on a routine of
// this image names the file it came from.
#include "OwnModule.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>

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
    const char* name;   // as asked
    bool withExtension; // the name carries a '.'
    bool found;
};

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

int VisitModule(dl_phdr_info* info, size_t, void* data) {
    Search* search = static_cast<Search*>(data);
    const char* base = BaseName(info->dlpi_name ? info->dlpi_name : "");
    const size_t length = std::strlen(search->name);
    if (search->withExtension)
        search->found = strcasecmp(base, search->name) == 0;
    else
        search->found = strncasecmp(base, search->name, length) == 0 && strcasecmp(base + length, ".so") == 0;
    return search->found ? 1 : 0;
}

}  // namespace

bool IsModuleLoaded(const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    Search search{name, std::strchr(name, '.') != nullptr, false};
    dl_iterate_phdr(VisitModule, &search);
    return search.found;
}
