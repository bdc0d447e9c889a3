// Standard input as a render's INPUT ("-"). A clip's frame count must be
// known before its first frame renders (it is "T"), and a pipe can be read
// only once, so what comes in is kept in a temporary file first and read
// from there: a pipe from FFmpeg works like a file.
#pragma once

#include <string>

#include "MediaResult.h"

// Copies all of standard input into a new temporary file beside `near`
// (a path in the folder it goes in) and names it in `spool`. kMediaOk, or
// kMediaCannotWrite / kMediaCannotOpen / kMediaInterrupted with a message
// and nothing left behind. `stop` is asked between reads.
MediaCode SpoolStandardInput(const std::string& near, std::string& spool, std::string& message, StopProbe stop);
