// fablix compile [block options] [--json]
#include <memory>

#include "CompileDriver.h"
#include "Commands.h"
#include "Diagnostics.h"

ExitCode RunCompile(Arguments& args) {
    BlockOptions block;
    bool json = false;
    while (!args.Done()) {
        if (args.TakeOptionsEnd()) continue;
        if (args.optionsEnded) return UsageError("unexpected argument '" + args.Peek() + "'");
        if (args.Peek() == "--json") {
            args.Take();
            json = true;
            continue;
        }
        const OptionTake taken = TakeBlockOption(args, &block);
        if (taken == kOptionBad) return kExitUsage;
        if (taken == kOptionTaken) continue;
        if (args.Peek().size() > 1 && args.Peek()[0] == '-') return UsageError("unknown option '" + args.Peek() + "'");
        return UsageError("unexpected argument '" + args.Peek() + "'");
    }
    auto params = std::make_unique<FilterParams>();
    if (BlockStatus status = BuildBlock(block, params.get()); status != kBlockOk) return BlockExitCode(status);
    auto state = std::make_unique<InstanceState>();
    CompileFormulas(state.get(), params.get());
    if (json) {
        PrintCompileJson(state.get(), params.get(), stdout);
    } else {
        PrintDiagnostics(state.get(), params.get(), "error", stdout);
    }
    return AnyFormulaFailed(state.get()) ? kExitFailed : kExitOk;
}
