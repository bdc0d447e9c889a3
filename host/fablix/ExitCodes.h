// What fablix returns to the shell.
#pragma once

#include <cstdint>

enum ExitCode : int32_t {
    kExitOk = 0,
    kExitFailed = 1,         // a formula did not compile, or the work failed
    kExitUsage = 2,          // bad arguments, or a formula or settings file that cannot be read
    kExitInterrupted = 130,  // stopped by Ctrl-C (128 + SIGINT, as shells report it)
};

// A render stopped by a signal exits with 128 + its number, as shells
// report a process the signal killed: 130 for SIGINT, 143 for SIGTERM.
constexpr int32_t kExitSignalBase = 128;
constexpr ExitCode SignalExitCode(int32_t signal) { return static_cast<ExitCode>(kExitSignalBase + signal); }
