// The parameter block fablix.so carries in a section of its own, where
// `fablix build --frei0r` finds and replaces it in a copy of the file. The
// editor's image carries a block with `built` 0 and renders what its
// parameters say; a built plug-in renders the block written there.
#pragma once

#include "BuiltTiming.h"
#include "FilterParams.h"

const FilterParams& EmbeddedBlock();

// The frame rate `fablix build --frei0r --fps N` wrote beside the block:
// N, or 25 in the editor's image and when the record is not whole.
int32_t EmbeddedFramesPerSecond();
