// Pages made from the command table at build time: the manual page and the
// bash and zsh completions. The tool itself never prints them.
#pragma once

#include <string>

// fablix(1) in roff: the commands with their options, the block options,
// the names of the formula language, the exit codes and the files.
std::string ManPage();

// A bash completion script, loadable with or without bash-completion:
// commands, options, channel letters, slider and map numbers, and file
// names of the kind each option and operand takes.
std::string BashCompletion();

// The same for zsh (#compdef fablix).
std::string ZshCompletion();
