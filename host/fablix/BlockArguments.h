// The block options every fablix command shares: which block to work on,
// and what to put in its place, read from the command line into the block
// layer's options.
#pragma once

#include "Arguments.h"
#include "BlockOptions.h"
#include "ExitCodes.h"

// Reads one block option at args.Peek() into `options`, consuming it and its
// value. Formula files are read here, so a bad one is reported before any
// work starts.
OptionTake TakeBlockOption(Arguments& args, BlockOptions* options);

// What the tool returns for a block status: a refused file or text is the
// user's to mend, a missing built-in block is the build's fault.
inline ExitCode BlockExitCode(BlockStatus status) {
    return status == kBlockOk ? kExitOk : status == kBlockRefused ? kExitUsage : kExitFailed;
}
