// Paths in the folder of the plug-in's own file: where Load and Save start,
// and where built plug-ins go.
#pragma once

#include <cstdint>

#include "ControlsPort.h"

// Fills `buffer` (size bytes) with the folder of the plug-in's own file
// (ending in its separator), then `name` and, when given, a dot and
// `extension`; either may be nullptr or empty. Returns the buffer, or
// nullptr when the plug-in's path cannot be had or the result does not fit.
char* MakePluginFolderPath(const ControlsPort& port, char* buffer, int32_t size, const char* name,
                           const char* extension);
