// The command table, the options of each command and the help made from
// them.
#include "CommandTable.h"

#include <cstring>
#include <string>

#include "BuildCommit.h"
#include "Commands.h"
#include "EditCommand.h"
#include "Version.h"

namespace {

template <size_t N>
constexpr OptionList ListOf(const OptionHelp (&options)[N]) {
    return {options, static_cast<int32_t>(N)};
}

constexpr OptionHelp kBlockOptions[] = {
    {"--settings", "FILE.fbl", kValueSettings, "formulas and sliders from a settings file, applied first"},
    {"--plain", nullptr, kValueNone, "the picture as it is: the formulas b, g, r, a, single expression mode off"},
    {"-b", "TEXT", kValueText, "the formula of blue (formula 0)"},
    {"-g", "TEXT", kValueText, "the formula of green (formula 1)"},
    {"-r", "TEXT", kValueText, "the formula of red (formula 2)"},
    {"-a", "TEXT", kValueText, "the formula of alpha (formula 3)"},
    {"--formula-file", "CH=PATH", kValueFormulaFile,
     "the formula of channel CH (b, g, r, a) from a file, byte for byte"},
    {"--slider", "K=V", kValueSlider, "slider K (0..7) at position V (0..255)"},
    {"--single", nullptr, kValueNone, "formula A alone is run and feeds all four bytes"},
};

constexpr OptionHelp kOverwriteOptions[] = {
    {"-y, --overwrite", nullptr, kValueNone, "replace an existing OUTPUT"},
    {"-n, --no-overwrite", nullptr, kValueNone, "keep an existing OUTPUT and do nothing (the default)"},
};

constexpr OptionHelp kToolOptions[] = {
    {"-h, --help", nullptr, kValueNone, "this help; after a command, the command's"},
    {"--version", nullptr, kValueNone, "the version and the commit of this build"},
};

constexpr OptionHelp kBenchOptions[] = {
    {"--size", "WxH", kValueNumber, "the picture's size (default 1920x1080)"},
    {"--frames", "N", kValueNumber, "frames to time, t = 0 to N - 1 (default 20)"},
    {"--threads", "N", kValueNumber, "threads, 1 to 256 (default: one per core)"},
    {"--json", nullptr, kValueNone, "print one JSON object"},
};

constexpr OptionHelp kBuildOptions[] = {
    {"--frei0r", nullptr, kValueNone, "write a frei0r plug-in, OUTPUT.so, from fablix.so"},
    {"--kdenlive", "DIR", kValueFolder,
     "with --frei0r: write the Kdenlive effect description into DIR (~/.local/share/kdenlive/effects)"},
    {"--fps", "N", kValueNumber, "with --frei0r: \"t\" = the host's time in seconds x N (default 25)"},
    {"--title", "T", kValueText, "the title, \"Category:Name\", at most 253 bytes of UTF-8"},
    {"--author", "A", kValueText, "the author, at most 254 bytes"},
    {"--module", "NAME", kValueText, "the module name (default: OUTPUT's file name without its extension)"},
    {"--map", "I=NAME", kValueMapName, "the label of map I (0..3)"},
    {"--slider-name", "K=NAME", kValueSliderName, "the label of slider K (0..7)"},
    {"--enable", "LIST", kValueControls, "the controls offered, such as map1,slider0; all others off"},
    {"--image", "PATH", kValuePlugin, "the image to copy (default: the installed or built one)"},
    {"--allow-failing", nullptr, kValueNone, "build even when a formula does not compile"},
};

constexpr OptionHelp kCompileOptions[] = {
    {"--json", nullptr, kValueNone, "print one JSON object: the four results with their messages"},
};

constexpr OptionHelp kRenderOptions[] = {
    {"--time", "T", kValueNumber, "a still output's time \"t\"; of a clip input, the frame to take (default 0)"},
    {"--total", "N", kValueNumber, "a still input's \"T\"; to a clip output, N + 1 frames (default 0)"},
    {"--frames", "A:B", kValueNumber, "a clip output's frames A to B (A:, :B, N); t and T stay the clip's"},
    {"--threads", "N", kValueNumber, "threads, 1 to 256 (default: one per core)"},
    {"--quiet", nullptr, kValueNone, "no progress"},
    {"--allow-failing, --keep-going", nullptr, kValueNone,
     "render even when a formula does not compile (its channel renders as 0)"},
    {"-an, --no-audio", nullptr, kValueNone, "leave the sound out"},
    {"-c:v, -vcodec", "CODEC", kValueText, "the video encoder, as FFmpeg names it (default: the container's)"},
    {"-crf", "N", kValueNumber, "the encoder's constant quality"},
    {"-preset", "P", kValueText, "the encoder's preset"},
    {"-pix_fmt", "F", kValueText, "the pixel format written (default: the container's, yuv420p for .mp4)"},
    {"-b:v", "RATE", kValueText, "the video bit rate, such as 4M"},
    {"--encoder-option", "KEY=VALUE", kValueText, "an option of the video encoder, passed through (repeatable)"},
    {"-c:a, -acodec", "CODEC", kValueText,
     "the sound encoder, as FFmpeg names it (default: copy; the container's usual one where it cannot hold it)"},
    {"-b:a", "RATE", kValueText, "the re-encoded sound's bit rate, such as 128k"},
    {"-f", "FORMAT", kValueText, "OUTPUT - : y4m, nut, rawvideo, png or matroska on standard output"},
};

constexpr OptionHelp kEditOptions[] = {
    {"--settings", "FILE.fbl", kValueSettings, "start from a settings file"},
    {"--port", "N", kValueNumber, "the port on 127.0.0.1 (default: a free one)"},
    {"--no-browser", nullptr, kValueNone, "print the address only; do not open a browser"},
};

ExitCode RunEdit(Arguments& args) { return static_cast<ExitCode>(RunEditor({args.items.begin(), args.items.end()})); }

constexpr OptionHelp kShowOptions[] = {
    {"--json", nullptr, kValueNone, "print the block as one JSON object"},
};

constexpr OptionHelp kHelpOptions[] = {
    {"--json", nullptr, kValueNone, "with formulas: the names as one JSON object"},
};

constexpr CommandHelp kCommands[] = {
    {"bench", RunBench, "renders the block on a built-in picture and says how fast", "", kValueNone,
     ListOf(kBenchOptions), true, false, "No file is read or written; one untimed frame per thread comes first."},
    {"build", RunBuild, "writes a stand-alone plug-in made from the block", "OUTPUT.rvp|OUTPUT.so", kValuePlugin,
     ListOf(kBuildOptions), true, true,
     "A copy of the plug-in image (or with --frei0r of fablix.so) with the block, the title and the module name "
     "patched in. A block whose formulas do not all compile is refused unless --allow-failing is given."},
    {"compile", RunCompile, "compiles the four formulas and reports each failure", "", kValueNone,
     ListOf(kCompileOptions), true, false, "Exit code 0 when all four compile, 1 when one does not."},
    {"edit", RunEdit, "serves the live formula editor on 127.0.0.1 and opens it in the browser", "[INPUT]", kValueMedia,
     ListOf(kEditOptions), false, false,
     "The first line of standard output is the page's address with its token. Without INPUT the built-in test clip is "
     "used. Ctrl-C stops it."},
    {"help", RunHelp, "prints the help of the tool, of a command, or the formula language's names",
     "[COMMAND | formulas]", kValueNone, ListOf(kHelpOptions), false, false,
     "\"fablix help formulas\" lists every variable, operator and function of the formula language."},
    {"render", RunRender, "renders INPUT through the filter into OUTPUT", "[INPUT] OUTPUT", kValueMedia,
     ListOf(kRenderOptions), true, true,
     "A .png, .jpg, .webp or .tiff is a still image; .mp4, .mov, .mkv, .webm, .gif, .y4m, .nut and numbered PNG "
     "patterns such as out/frame%04d.png are clips; - is standard input, or standard output with -f. A block "
     "whose formulas do not all compile is refused unless --allow-failing is given. Without INPUT the built-in picture "
     "(or clip) is used. Frame i of a clip renders at t = i, T = the "
     "clip's last index."},
    {"save",
     RunSave,
     "writes the block's formulas and sliders as a settings file",
     "OUTPUT.fbl",
     kValueSettings,
     {nullptr, 0},
     true,
     true,
     ""},
    {"show", RunShow, "prints the block: the four formulas, the sliders, single expression mode", "", kValueNone,
     ListOf(kShowOptions), true, false, ""},
};

constexpr const char kBlockOptionsNote[] =
    "The block starts as the editor's default; --settings comes first wherever it stands, the other block options "
    "follow in the order given, so --plain replaces the settings file's formulas (not its sliders), and a later -b, "
    "-g, -r or -a replaces one of --plain's.";

// "--frames N" or "-y" for the usage line: the long spelling and the value.
std::string UsageWord(const OptionHelp& option) {
    const char* comma = std::strrchr(option.spellings, ' ');
    std::string word = comma != nullptr ? comma + 1 : option.spellings;
    if (option.value != nullptr) word += std::string(" ") + option.value;
    return word;
}

// "-y, --overwrite FILE" as the options list shows it.
std::string OptionLabel(const OptionHelp& option) {
    std::string label = option.spellings;
    if (option.value != nullptr) label += std::string(" ") + option.value;
    return label;
}

constexpr size_t kLabelColumn = 26;

void PrintOptions(const char* heading, OptionList list, FILE* out) {
    std::fprintf(out, "\n%s:\n", heading);
    for (int32_t i = 0; i < list.count; ++i) {
        const std::string label = OptionLabel(list.options[i]);
        if (label.size() + 4 <= kLabelColumn)
            std::fprintf(out, "  %-*s%s\n", int(kLabelColumn - 2), label.c_str(), list.options[i].meaning);
        else
            std::fprintf(out, "  %s\n  %*s%s\n", label.c_str(), int(kLabelColumn - 2), "", list.options[i].meaning);
    }
}

ExitCode PrintUsage(FILE* out) {
    std::fprintf(out, "usage: fablix COMMAND [options]   (fablix help COMMAND for a command's options)\n\n");
    for (const CommandHelp& command : kCommands) std::fprintf(out, "  %-8s %s\n", command.name, command.summary);
    PrintOptions("options of fablix itself", ListOf(kToolOptions), out);
    std::fprintf(out,
                 "\nINPUT and OUTPUT: .png, .jpg, .webp and .tiff are still images; .mp4, .mov, .mkv, .webm, .gif,\n"
                 ".y4m, .nut and numbered PNG patterns such as out/frame%%04d.png are clips; - is standard input or\n"
                 "output (with -f FORMAT). The manual: man fablix.\n");
    return out == stdout ? kExitOk : kExitUsage;
}

// "--help" anywhere before "--", or "-h" first: the command's help.
bool AsksForHelp(const std::vector<std::string>& arguments) {
    if (arguments.size() > 1 && arguments[1] == "-h") return true;
    for (size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i)
        if (arguments[i] == "--help") return true;
    return false;
}

}  // namespace

CommandList ToolCommands() { return {kCommands, static_cast<int32_t>(std::size(kCommands))}; }
OptionList BlockOptionList() { return ListOf(kBlockOptions); }
OptionList OverwriteOptionList() { return ListOf(kOverwriteOptions); }
OptionList ToolOptionList() { return ListOf(kToolOptions); }
const char* BlockOptionsNote() { return kBlockOptionsNote; }

const CommandHelp* FindCommand(const char* name) {
    for (const CommandHelp& command : kCommands)
        if (std::strcmp(command.name, name) == 0) return &command;
    return nullptr;
}

std::string CommandSynopsis(const CommandHelp& command) {
    std::string synopsis = std::string("fablix ") + command.name;
    if (command.blockOptions) synopsis += " [block options]";
    for (int32_t i = 0; i < command.options.count; ++i) synopsis += " [" + UsageWord(command.options.options[i]) + "]";
    if (command.overwrite) synopsis += " [-y | -n]";
    if (command.operands[0] != '\0') synopsis += std::string(" ") + command.operands;
    return synopsis;
}

void PrintCommandHelp(const CommandHelp& command, FILE* out) {
    std::fprintf(out, "usage: %s\n\n%s: %s.\n", CommandSynopsis(command).c_str(), command.name, command.summary);
    if (command.details[0] != '\0') std::fprintf(out, "%s\n", command.details);
    if (command.options.count > 0) PrintOptions("options", command.options, out);
    if (command.overwrite) PrintOptions("existing OUTPUT", ListOf(kOverwriteOptions), out);
    if (command.blockOptions) {
        PrintOptions("block options", ListOf(kBlockOptions), out);
        std::fprintf(out, "%s\n", kBlockOptionsNote);
    }
}

std::string VersionText() { return std::string("fablix ") + kFablixVersion + " (commit " + kFablixCommit + ")"; }

ExitCode RunFablix(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return PrintUsage(stderr);
    const std::string& name = arguments[0];
    if (name == "--help" || name == "-h" || (name == "help" && arguments.size() == 1)) return PrintUsage(stdout);
    if (name == "--version") {
        std::printf("%s\n", VersionText().c_str());
        return kExitOk;
    }
    const CommandHelp* command = FindCommand(name.c_str());
    if (command == nullptr) return UsageError("unknown command '" + name + "' (try 'fablix help')");
    if (AsksForHelp(arguments)) {
        PrintCommandHelp(*command, stdout);
        return kExitOk;
    }
    Arguments args;
    args.items.assign(arguments.begin() + 1, arguments.end());
    return command->run(args);
}
