// A block whose formulas do not all compile: the plug-in renders a failed
// formula's channel as 0, which a command-line user would take for a result.
// So the commands refuse such a block with the compile command's report,
// unless the user asks to go on.
#pragma once

#include <string>

#include "ExitCodes.h"
#include "FilterParams.h"

// What a command does with a block, for its messages.
struct FormulaCheckWords {
    const char* verb;         // "build", "render"
    const char* doing;        // "building", "rendering"
    std::string output;       // the output named in the messages; empty: none
    const char* consequence;  // why that matters, after "a formula does not compile (above)"
};

// Compiles `params` as the plug-in does. kExitOk when every formula
// compiles. Otherwise prints the diagnostics on stderr, as errors (and
// returns kExitFailed with "cannot <verb> '<output>': ...") or, with
// `allowFailing`, as warnings (and returns kExitOk with a warning line).
ExitCode CheckBlockFormulas(const FilterParams& params, bool allowFailing, const FormulaCheckWords& words);
