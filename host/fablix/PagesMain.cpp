// fablix_pages man|bash|zsh: prints a page made from the command table, for
// the build to install beside the tool; fablix_pages kdenlive PLUGIN: the
// Kdenlive effect description of the frei0r plug-in fablix.so.
#include <cstdio>
#include <cstring>

#include "KdenliveEffect.h"
#include "ToolPages.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "kdenlive") == 0) {
        std::string problem;
        const std::string xml = KdenliveEffect(argv[2], "fablix", &problem);
        if (xml.empty()) return std::fprintf(stderr, "fablix_pages: '%s': %s\n", argv[2], problem.c_str()), 1;
        return std::fputs(xml.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: fablix_pages man|bash|zsh | kdenlive PLUGIN\n");
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
