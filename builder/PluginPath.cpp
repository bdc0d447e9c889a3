#include "PluginPath.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "RESOURCE.h"

namespace {

// Past the last folder separator of `path`, or past a drive's colon: where
// the file name begins. Both separators count, as Windows paths take either.
size_t FolderLength(const char* path) {
    size_t folder = 0;
    for (size_t i = 0; path[i] != 0; ++i)
        if (path[i] == '/' || path[i] == '\\' || (i == 1 && path[i] == ':')) folder = i + 1;
    return folder;
}

}  // namespace

bool HoldsFolderSeparator(const char* name) { return strpbrk(name, "/\\:") != nullptr; }

char* JoinPluginFolderPath(const char* pluginPath, char* buffer, int32_t size, const char* name,
                           const char* extension) {
    if (size <= 0 || pluginPath == nullptr || pluginPath[0] == '\0') return nullptr;
    const bool hasExtension = extension != nullptr && extension[0] != '\0';
    const char* dot = hasExtension && extension[0] != '.' ? "." : "";
    const int written = snprintf(buffer, static_cast<size_t>(size), "%.*s%s%s%s",
                                 static_cast<int>(FolderLength(pluginPath)), pluginPath, name ? name : "", dot,
                                 hasExtension ? extension : "");
    return written >= 0 && written < size ? buffer : nullptr;
}

char* MakePluginFolderPath(char* buffer, int32_t size, const char* name, const char* extension,
                           const BuilderPorts* ports) {
    char own[kPathBufferSize];
    if (ports->ownFilePath(own, sizeof own) < 0) return nullptr;
    return JoinPluginFolderPath(own, buffer, size, name, extension);
}

int32_t CheckModuleNameRules(const char* name, const BuilderPorts* ports) {
    // A folder in the name would put the plug-in outside the plug-in's folder.
    if (HoldsFolderSeparator(name) || ports->isModuleLoaded(name)) return IDS_RESERVED_NAME;
    char path[kPathBufferSize];
    if (MakePluginFolderPath(path, sizeof path, name, kPluginExtension, ports) == nullptr) return 0;
    std::error_code error;
    const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path, error));
    return exists ? IDS_NAME_EXISTS : 0;
}
