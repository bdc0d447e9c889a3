#include "PluginFolder.h"

#include <cstdio>
#include <cstring>

namespace {

// Room for the plug-in's own path, whatever the caller's buffer.
constexpr int32_t kPluginPathCapacity = 1024;

// Past the last folder separator of `path`, or past a drive's colon: where
// the file name begins. Both separators count, as Windows paths take either.
size_t FolderLength(const char* path) {
    size_t folder = 0;
    for (size_t i = 0; path[i] != 0; ++i)
        if (path[i] == '/' || path[i] == '\\' || (i == 1 && path[i] == ':')) folder = i + 1;
    return folder;
}

}  // namespace

char* MakePluginFolderPath(const ControlsPort& port, char* buffer, int32_t size, const char* name,
                           const char* extension) {
    char plugin[kPluginPathCapacity];
    if (size <= 0 || !port.pluginFilePath(plugin, sizeof plugin)) return nullptr;
    const bool dotted = extension != nullptr && extension[0] != 0;
    const int written = std::snprintf(buffer, static_cast<size_t>(size), "%.*s%s%s%s",
                                      static_cast<int>(FolderLength(plugin)), plugin,
                                      name != nullptr ? name : "", dotted ? "." : "",
                                      dotted ? extension : "");
    if (written < 0 || written >= size) return nullptr;
    return buffer;
}
