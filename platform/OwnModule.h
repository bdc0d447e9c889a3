// The plug-in's own file, and the modules loaded beside it in the host's
// process.
#pragma once

#include <cstdint>

// Writes the full path of the file that holds the plug-in's code (the image
// this port is linked into) to `buffer`, terminated. Returns its length, or
// -1 when the path cannot be had or does not fit `capacity` with its
// terminator (the buffer then holds the empty text, when it has room).
int32_t OwnFilePath(char* buffer, int32_t capacity);

// True when a module of this name is loaded in the process: a file name,
// compared without regard to ASCII case; without an extension, the
// platform's library extension (".dll", ".so") is assumed.
bool IsModuleLoaded(const char* name);
