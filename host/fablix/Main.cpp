// fablix: compiles and renders filter formulas the way the plug-in does.
#include "Commands.h"
#include "OutOfResources.h"

int main(int argc, char** argv) {
    CatchResourceFailures();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return FinishStandardOutput(RunFablix(arguments));
}
