// The plug-in's own module instance, kept by the load hook when the
// platform loads the library: where the dialog templates live.
#pragma once

#include "ReelInfo.h"

// The instance the load hook stored; nullptr before it ran.
RvInstance ModuleInstance();
