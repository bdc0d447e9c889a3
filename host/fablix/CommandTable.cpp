// The command table and the usage text built from it.
#include <cstdio>

#include "Commands.h"
#include "EditCommand.h"

namespace {

struct Command {
    const char* name;
    ExitCode (*run)(Arguments&);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"bench", RunBench, "bench [block options] [--size WxH] [--frames N] [--threads N] [--json]"},
    {"build", RunBuild,
     "build [--frei0r] [block options] [--title T] [--author A] [--module NAME] [--map I=NAME]\n"
     "               [--slider-name K=NAME] [--enable map1,slider2,...] [--image PATH] [--allow-failing]\n"
     "               [-y | -n] OUTPUT.rvp|OUTPUT.so"},
    {"compile", RunCompile, "compile [block options] [--json]"},
    {"edit",
     [](Arguments& args) {
         return static_cast<ExitCode>(RunEditor({args.items.begin(), args.items.end()}));
     },
     kEditUsage},
    {"render", RunRender,
     "render [block options] [--time T] [--total N] [--frames A:B] [--threads N] [--quiet] [--allow-failing]\n"
     "               [--no-audio] [-c:v CODEC] [-crf N] [-preset P] [-pix_fmt F] [-b:v RATE]\n"
     "               [--encoder-option KEY=VALUE] [-c:a copy] [-f FORMAT] [-y | -n] [INPUT|-] OUTPUT|-"},
    {"save", RunSave, "save [block options] [-y | -n] OUTPUT.fbl"},
    {"show", RunShow, "show [block options]"},
};

constexpr const char* kBlockOptions =
    "block options (the default filter, then --settings, then the others in order):\n"
    "  --settings FILE.fbl      formulas and sliders from a settings file\n"
    "  -b TEXT, -g TEXT, -r TEXT, -a TEXT\n"
    "                           the formula of blue, green, red or alpha\n"
    "  --formula-file CH=PATH   a formula from a file, byte for byte (CH: b, g, r, a)\n"
    "  --slider K=V             slider K (0..7) at V (0..255)\n"
    "  --single                 formula A alone feeds all four channels\n"
    "-y, --overwrite replaces an existing OUTPUT; without it (or with -n,\n"
    "--no-overwrite) an existing OUTPUT is kept and nothing is done.\n"
    "INPUT and OUTPUT: .png, .jpg, .webp and .tiff are still images; .mp4, .mov, .mkv,\n"
    ".webm, .gif, .y4m, .nut and numbered PNG patterns such as out/frame%04d.png are\n"
    "clips; - is standard input or output (with -f FORMAT). See docs/fablix.md.\n";

ExitCode PrintUsage(FILE* out) {
    std::fprintf(out, "usage:\n");
    for (const Command& command : kCommands) std::fprintf(out, "  fablix %s\n", command.usage);
    std::fputs(kBlockOptions, out);
    return out == stdout ? kExitOk : kExitUsage;
}

}  // namespace

ExitCode RunFablix(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return PrintUsage(stderr);
    const std::string& name = arguments[0];
    if (name == "--help" || name == "-h" || name == "help") return PrintUsage(stdout);
    Arguments args;
    args.items.assign(arguments.begin() + 1, arguments.end());
    for (const Command& command : kCommands)
        if (name == command.name) return command.run(args);
    return UsageError("unknown command '" + name + "' (try 'fablix help')");
}
