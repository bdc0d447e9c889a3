#include "PluginFolder.h"

#include "PluginPath.h"

namespace {

// Room for the plug-in's own path, whatever the caller's buffer.
constexpr int32_t kPluginPathCapacity = 1024;

}  // namespace

char* MakePluginFolderPath(const ControlsPort& port, char* buffer, int32_t size, const char* name,
                           const char* extension) {
    char plugin[kPluginPathCapacity];
    if (size <= 0 || !port.pluginFilePath(plugin, sizeof plugin)) return nullptr;
    return JoinPluginFolderPath(plugin, buffer, size, name, extension);
}
