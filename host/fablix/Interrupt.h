// Stopping a render: SIGINT (Ctrl-C), SIGTERM and SIGHUP (the terminal
// closed) only note the request; the render asks StopRequested between rows,
// packets and reads, removes what it had written, and exits with 128 + the
// signal's number. Blocking system calls are not restarted after one of
// them, so a read that waits returns and the request is seen.
#pragma once

#include <cstdint>
#include <functional>

#include "ExitCodes.h"
#include "MediaResult.h"

// Installs the handlers for the three signals; a broken pipe on standard
// error no longer ends the process either.
void CatchStopSignals();

bool StopRequested();

// Prints "fablix: interrupted; nothing written" and returns 128 + the
// first signal that came.
ExitCode Interrupted();

// Runs `commit` (the move of a finished output into place, returning a
// MediaCode) unless a stop was requested before it, with the three signals
// held off meanwhile: a signal comes either before, and nothing is
// replaced (kMediaInterrupted), or after the output is in place.
MediaCode CommitUnlessStopped(const std::function<MediaCode()>& commit);

// For tests: when the environment variable FABLIX_TEST_PAUSE_AT names
// `point`, the process stops itself there (SIGSTOP), so that a test can
// send a signal at exactly that point and continue it. Points: "frame"
// (the first frame of a clip is written) and "commit" (an output is
// complete and about to be moved into place).
void PausePointForTests(const char* point);
