// The loaded-module port over the dynamic loader's list of loaded objects.
#include "ModuleLookup.h"

#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

struct Lookup {
    std::string name;
    bool found;
};

bool NameMatches(const std::string& name, const char* path) {
    const char* slash = strrchr(path, '/');
    const std::string base = slash ? slash + 1 : path;
    if (base == name || base == name + ".so") return true;
    const std::string versioned = name + ".so.";
    return base.compare(0, versioned.size(), versioned) == 0;
}

int Visit(dl_phdr_info* info, size_t, void* data) {
    Lookup* lookup = static_cast<Lookup*>(data);
    // The program itself has an empty name in the list.
    char program[PATH_MAX];
    const char* path = info->dlpi_name;
    if (path == nullptr || path[0] == '\0') {
        const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
        program[length > 0 ? length : 0] = '\0';
        path = program;
    }
    lookup->found = path[0] != '\0' && NameMatches(lookup->name, path);
    return lookup->found ? 1 : 0;
}

}  // namespace

bool IsModuleLoaded(const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    Lookup lookup{name, false};
    dl_iterate_phdr(Visit, &lookup);
    return lookup.found;
}
