#include "Messages.h"

#include <cstdio>

#include "ExitCodes.h"

ExitCode UsageError(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\n", message.c_str());
    return kExitUsage;
}

ExitCode Failure(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\n", message.c_str());
    return kExitFailed;
}

void Warning(const std::string& message) { std::fprintf(stderr, "fablix: warning: %s\n", message.c_str()); }
