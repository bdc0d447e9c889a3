// The fablix commands. Each takes the arguments after its name and returns
// an ExitCode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Arguments.h"
#include "BlockArguments.h"
#include "ExitCodes.h"
#include "Messages.h"

int32_t RunBench(Arguments& args);
int32_t RunBuild(Arguments& args);
int32_t RunCompile(Arguments& args);
int32_t RunRender(Arguments& args);
int32_t RunSave(Arguments& args);
int32_t RunShow(Arguments& args);

// The whole command line, argv[0] excluded: picks the command and runs it.
int32_t RunFablix(const std::vector<std::string>& arguments);
