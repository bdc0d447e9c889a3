// Parameter blocks that tests start from. They are not resources of the
// plug-in; the builds link them only into test programs. The same bytes lie
// in the build tree as 70sPop.bin, at the path FABLIX_SEVENTIES_POP_BIN.
#pragma once

#include <cstdint>

#include "FilterParams.h"

// A built plug-in with controls: module "70sPop", sliders 0..5 shown.
extern const uint8_t kSeventiesPopBlock[kFilterParamsSize];
