// The tool's one-line reports on standard error, "fablix: <message>".
#pragma once

#include <cstdint>
#include <string>

// Prints the message and returns kExitUsage.
int32_t UsageError(const std::string& message);

// Prints the message and returns kExitFailed.
int32_t Failure(const std::string& message);

// Prints "fablix: warning: <message>"; the work goes on.
void Warning(const std::string& message);
