#include "PluginPath.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "RESOURCE.h"

namespace {

bool IsSeparator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\' || c == ':';  // a drive ends with ':'
#else
    return c == '/';
#endif
}

// Appends `text` at `*used`; false when it does not fit with a terminator.
bool Append(char* buffer, int32_t size, int32_t* used, const char* text) {
    const size_t length = strlen(text);
    if (length >= static_cast<size_t>(size - *used)) return false;
    memcpy(buffer + *used, text, length + 1);
    *used += static_cast<int32_t>(length);
    return true;
}

// Joins `folder` (ending in a separator, or empty) with `name` and
// `extension`, putting a dot before an extension that has none.
char* JoinPath(char* buffer, int32_t size, const char* folder, const char* name, const char* extension) {
    if (size <= 0) return nullptr;
    int32_t used = 0;
    buffer[0] = '\0';
    const bool dotted = extension == nullptr || extension[0] == '\0' || extension[0] == '.';
    if (!Append(buffer, size, &used, folder) || !Append(buffer, size, &used, name ? name : "") ||
        !Append(buffer, size, &used, dotted ? "" : ".") || !Append(buffer, size, &used, extension ? extension : ""))
        return nullptr;
    return buffer;
}

}  // namespace

bool HoldsFolderSeparator(const char* name) { return strpbrk(name, "/\\:") != nullptr; }

char* MakePluginFolderPath(char* buffer, int32_t size, const char* name, const char* extension,
                           const BuilderPorts* ports) {
    char own[kPathBufferSize];
    if (ports->ownFilePath(own, sizeof own) < 0) return nullptr;
    size_t folderLength = strlen(own);
    while (folderLength > 0 && !IsSeparator(own[folderLength - 1])) --folderLength;
    own[folderLength] = '\0';
    return JoinPath(buffer, size, own, name, extension);
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
