// Outputs the user already has: an existing file is never replaced unless
// the command line says so (-y), as users know it from FFmpeg.
#pragma once

#include <cstdint>
#include <string>

#include "ExitCodes.h"

#include "Arguments.h"

enum OverwritePolicy : int32_t {
    kKeepExisting = 0,     // -n, --no-overwrite: the default
    kReplaceExisting = 1,  // -y, --overwrite
};

// -y/--overwrite or -n/--no-overwrite at args.Peek(); a later one wins.
OptionTake TakeOverwriteOption(Arguments& args, OverwritePolicy* policy);

// True when something (a file, a folder, a link) has that name.
bool NameExists(const std::string& path);

// kExitOk when `path` may be written under `policy`; otherwise kExitUsage
// with "'out.png' exists; ..." naming the option. `why`, when not empty,
// says what the existing file seems to be, and replaces the usual advice.
ExitCode RefuseExistingOutput(const std::string& path, OverwritePolicy policy, const std::string& why = "");
