// Files the hosts read: formula files, settings files and render inputs.
#pragma once

#include <string>

// Why `path` cannot be read, or "" when it can: "it is a folder", "it is a
// pipe or socket, not a file" (a read from one may wait forever, so none is
// opened), or the system's reason ("No such file or directory"). Devices
// count as files.
std::string InputFileProblem(const std::string& path);

// As InputFileProblem, but a name that does not exist is no problem here:
// for inputs that another reader resolves, such as frame number patterns.
std::string ExistingInputProblem(const std::string& path);
