// The parameter block a new instance starts from: the image's own PARM
// resource.
#pragma once

#include <cstdint>

#include "FilterParams.h"

// Copies at most 8300 bytes of PARM 16000 into `params`, leaving the rest as
// it was; returns the bytes copied (0 when the resource is missing).
int32_t LoadDefaultParams(FilterParams* params);
