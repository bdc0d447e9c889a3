#include "FormulaCheck.h"

#include <cstdio>
#include <memory>

#include "CompileDriver.h"
#include "Diagnostics.h"
#include "InstanceState.h"
#include "Messages.h"

ExitCode CheckBlockFormulas(const FilterParams& params, bool allowFailing, const FormulaCheckWords& words) {
    auto state = std::make_unique<InstanceState>();
    CompileFormulas(state.get(), &params);
    if (!AnyFormulaFailed(state.get())) return kExitOk;
    PrintDiagnostics(state.get(), &params, allowFailing ? "warning" : "error", stderr);
    const std::string output = words.output.empty() ? "" : " '" + words.output + "'";
    if (allowFailing) {
        Warning(words.doing + output + " with formulas that do not compile: their channels render as 0");
        return kExitOk;
    }
    return Failure(std::string("cannot ") + words.verb + output + ": a formula does not compile (above)" +
                   words.consequence + "; fix it, or give --allow-failing to " + words.verb + " it anyway");
}
