// fablix_pages man|bash|zsh: prints a page made from the command table, for
// the build to install beside the tool.
#include <cstdio>
#include <cstring>

#include "ToolPages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fablix_pages man|bash|zsh\n");
        return 2;
    }
    const char* kind = argv[1];
    std::string page;
    if (std::strcmp(kind, "man") == 0)
        page = ManPage();
    else if (std::strcmp(kind, "bash") == 0)
        page = BashCompletion();
    else if (std::strcmp(kind, "zsh") == 0)
        page = ZshCompletion();
    else
        return std::fprintf(stderr, "fablix_pages: unknown page '%s'\n", kind), 2;
    return std::fputs(page.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}
