// fablix: compiles and renders filter formulas the way the plug-in does.
#include <cstdio>
#include <cstring>

#include "Commands.h"

namespace {

struct Command {
    const char* name;
    int32_t (*run)(Arguments&);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"compile", RunCompile,
     "compile [-b TEXT] [-g TEXT] [-r TEXT] [-a TEXT] [--formula-file CH=PATH]... [--json]"},
    {"render", RunRender,
     "render [formula options] [--slider K=V]... [--single] [--time T] [--total N] [INPUT.png] OUTPUT.png"},
};

int32_t PrintUsage(FILE* out) {
    std::fprintf(out, "usage:\n");
    for (const Command& command : kCommands) std::fprintf(out, "  fablix %s\n", command.usage);
    return out == stdout ? kExitOk : kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return PrintUsage(stderr);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) return PrintUsage(stdout);
    Arguments args;
    for (int i = 2; i < argc; ++i) args.items.emplace_back(argv[i]);
    for (const Command& command : kCommands)
        if (std::strcmp(argv[1], command.name) == 0) return command.run(args);
    return UsageError(std::string("unknown command '") + argv[1] + "' (try 'fablix help')");
}
