// The tool's one-line reports on standard error, "fablix: <message>".
#pragma once

#include <cstdint>
#include <string>

#include "ExitCodes.h"

// Prints the message and returns kExitUsage.
ExitCode UsageError(const std::string& message);

// Prints the message and returns kExitFailed.
ExitCode Failure(const std::string& message);

// Prints "fablix: warning: <message>"; the work goes on.
void Warning(const std::string& message);
