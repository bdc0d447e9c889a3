// The fablix commands. Each takes the arguments after its name and returns
// an ExitCode.
#pragma once

#include <cstdint>

#include "Options.h"

int32_t RunCompile(Arguments& args);
int32_t RunRender(Arguments& args);
