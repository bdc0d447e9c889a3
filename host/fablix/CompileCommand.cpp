// fablix compile [block options] [--json]
#include <memory>

#include "CompileDriver.h"
#include "Commands.h"
#include "Diagnostics.h"

int32_t RunCompile(Arguments& args) {
    BlockOptions block;
    bool json = false;
    while (!args.Done()) {
        if (args.Peek() == "--json") {
            args.Take();
            json = true;
            continue;
        }
        const int32_t status = TakeBlockOption(args, &block);
        if (status == -1 && args.Peek().size() > 1 && args.Peek()[0] == '-')
            return UsageError("unknown option '" + args.Peek() + "'");
        if (status == -1) return UsageError("unexpected argument '" + args.Peek() + "'");
        if (status != kExitOk) return status;
    }
    auto params = std::make_unique<FilterParams>();
    if (int32_t status = BuildBlock(block, params.get()); status != kExitOk) return status;
    auto state = std::make_unique<InstanceState>();
    CompileFormulas(state.get(), params.get());
    if (json) {
        PrintCompileJson(state.get(), stdout);
    } else {
        PrintDiagnostics(state.get(), params.get(), "error", stdout);
    }
    return AnyFormulaFailed(state.get()) ? kExitFailed : kExitOk;
}
