// Running out of memory or threads ends the tool with one line and exit 1,
// never with an abort: the temporaries of the outputs being written go
// first. Standard output that cannot be written is a failure too.
#pragma once

#include <cstdint>

#include "ExitCodes.h"

// Installs the handlers: a failed allocation (operator new) and a failed
// start of a thread (a standard-library error, which ends in terminate
// under -fno-exceptions) print "fablix: out of memory" or the like,
// remove the temporaries, and exit with kExitFailed.
void CatchResourceFailures();

// Flushes and closes standard output: `status` when that succeeded (or
// nothing was written), else kExitFailed with "fablix: cannot write
// standard output: <reason>" (a full disk, /dev/full).
ExitCode FinishStandardOutput(ExitCode status);
