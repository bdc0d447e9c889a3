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

ExitCode RunBench(Arguments& args);
ExitCode RunBuild(Arguments& args);
ExitCode RunCompile(Arguments& args);
ExitCode RunHelp(Arguments& args);
ExitCode RunRender(Arguments& args);
ExitCode RunSave(Arguments& args);
ExitCode RunShow(Arguments& args);

// The whole command line, argv[0] excluded: picks the command and runs it.
ExitCode RunFablix(const std::vector<std::string>& arguments);
