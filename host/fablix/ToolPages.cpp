#include "ToolPages.h"

#include <cstring>
#include <vector>

#include "CommandTable.h"
#include "ExitCodes.h"
#include "NameList.h"

namespace {

// ---------------------------------------------------------------- roff

// Text as roff shows it: backslashes and hyphens escaped, nothing taken
// as a request at the start of a line.
std::string Roff(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\')
            escaped += "\\e";
        else if (c == '-')
            escaped += "\\-";
        else
            escaped += c;
    }
    if (!escaped.empty() && (escaped[0] == '.' || escaped[0] == '\'')) escaped = "\\&" + escaped;
    return escaped;
}

void AddOptions(OptionList list, std::string& page) {
    for (int32_t i = 0; i < list.count; ++i) {
        const OptionHelp& option = list.options[i];
        page += ".TP\n.B " + Roff(option.spellings);
        if (option.value != nullptr) page += std::string(" \" \\fI") + Roff(option.value) + "\\fR\"";
        page += "\n" + Roff(option.meaning) + "\n";
    }
}

constexpr const char* kManDescription =
    "compiles and runs a filter's four formulas (blue, green, red, alpha) exactly as the plug-in does, on still "
    "images and on clips, reads and writes settings files (.fbl), and builds stand-alone plug-ins: Windows "
    "plug-ins (.rvp) and frei0r plug-ins (.so) for FFmpeg, MLT and GStreamer. Each formula is an integer "
    "expression run once per pixel and channel; eight sliders and four maps built from them feed it.";

const struct {
    int32_t code;
    const char* meaning;
} kExitMeanings[] = {
    {kExitOk, "done"},
    {kExitFailed,
     "a formula did not compile, or the work failed (an input that cannot be read, an output that "
     "cannot be written, out of memory)"},
    {kExitUsage, "bad arguments, a formula or settings file that cannot be read, an OUTPUT that exists without -y"},
    {kExitInterrupted, "interrupted by SIGINT; 129 and 143 for SIGHUP and SIGTERM (128 + the signal)"},
};

// ---------------------------------------------------------- completions

// One word per spelling: "-y, --overwrite" gives "-y" and "--overwrite".
std::vector<std::string> Spellings(const OptionHelp& option) {
    std::vector<std::string> words;
    std::string rest = option.spellings;
    for (size_t comma; (comma = rest.find(", ")) != std::string::npos; rest = rest.substr(comma + 2))
        words.push_back(rest.substr(0, comma));
    words.push_back(rest);
    return words;
}

// Every option a command takes: its own, the overwrite and block options,
// and --help.
std::vector<OptionHelp> AllOptions(const CommandHelp& command) {
    std::vector<OptionHelp> options(command.options.options, command.options.options + command.options.count);
    const auto add = [&](OptionList list) { options.insert(options.end(), list.options, list.options + list.count); };
    if (command.overwrite) add(OverwriteOptionList());
    if (command.blockOptions) add(BlockOptionList());
    options.push_back(ToolOptionList().options[0]);
    return options;
}

constexpr const char* kValueKindWords[] = {"none",        "text",     "number",   "settings", "formula-file", "slider",
                                           "slider-name", "map-name", "controls", "media",    "plugin",       "folder"};
static_assert(sizeof kValueKindWords / sizeof kValueKindWords[0] == kValueFolder + 1);

constexpr const char* kBashFunctions = R"bash(
# The words a value of each kind may be; file kinds go by extension.
_fablix_files() {
    local ext IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$1"))
    for ext in "${@:2}"; do COMPREPLY+=($(compgen -f -X "!*.$ext" -- "$1")); done
    [ ${#COMPREPLY[@]} -gt 0 ] && compopt -o filenames 2>/dev/null
    return 0
}

# "K=" prefixes: a channel letter or a number, then what follows it.
_fablix_keyed() {
    local cur=$1 keys=$2
    if [[ $cur != *=* ]]; then
        COMPREPLY=($(compgen -W "$keys" -S = -- "$cur"))
        compopt -o nospace 2>/dev/null
        return 1
    fi
    return 0
}

_fablix_value() {
    local kind=$1 cur=$2 files=()
    case $kind in
        settings) _fablix_files "$cur" fbl ;;
        media) _fablix_files "$cur" png mp4 mov mkv gif webm avi apng ;;
        plugin) _fablix_files "$cur" so rvp ;;
        folder) COMPREPLY=($(compgen -d -- "$cur")) ;;
        formula-file)
            if _fablix_keyed "$cur" "b g r a"; then
                local IFS=$'\n'
                files=($(compgen -f -- "${cur#*=}"))
                COMPREPLY=("${files[@]/#/${cur%%=*}=}")
            fi ;;
        slider | slider-name) _fablix_keyed "$cur" "0 1 2 3 4 5 6 7" ;;
        map-name) _fablix_keyed "$cur" "0 1 2 3" ;;
        controls)
            local head=""
            [[ $cur == *,* ]] && head="${cur%,*},"
            COMPREPLY=($(compgen -W "map0 map1 map2 map3 slider0 slider1 slider2 slider3 slider4 slider5 slider6 slider7" \
                -P "$head" -- "${cur##*,}"))
            compopt -o nospace 2>/dev/null ;;
    esac
    return 0
}

_fablix() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    COMPREPLY=()
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$_fablix_commands --help --version" -- "$cur"))
        return 0
    fi
    local command=${COMP_WORDS[1]} kind
    kind=$(_fablix_kind "$command" "$prev")
    if [ -n "$kind" ]; then
        _fablix_value "$kind" "$cur"
        return 0
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_fablix_options "$command")" -- "$cur"))
        return 0
    fi
    _fablix_value "$(_fablix_operand "$command")" "$cur"
}
complete -F _fablix fablix
)bash";

// A zsh _arguments description: brackets and colons escaped.
std::string ZshText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\'')
            escaped += "'\\''";
        else if (c == '[' || c == ']' || c == ':')
            escaped += std::string("\\") + c;
        else
            escaped += c;
    }
    return escaped;
}

std::string ZshAction(ValueKind kind) {
    switch (kind) {
    case kValueSettings: return "_files -g \"*.fbl(-.)\"";
    case kValueMedia: return "_files -g \"*.(png|mp4|mov|mkv|gif|webm|avi|apng)(-.)\"";
    case kValuePlugin: return "_files -g \"*.(so|rvp)(-.)\"";
    case kValueFolder: return "_files -/";
    case kValueFormulaFile: return "_fablix_formula_file";
    case kValueSlider:
    case kValueSliderName: return "_fablix_keys 0 1 2 3 4 5 6 7";
    case kValueMapName: return "_fablix_keys 0 1 2 3";
    case kValueControls:
        return "_sequence compadd - map0 map1 map2 map3 slider0 slider1 slider2 slider3 slider4 slider5 slider6 "
               "slider7";
    default: return " ";
    }
}

constexpr const char* kZshFunctions = R"zsh(
_fablix_keys() { compadd -S '=' -q - "$@" }
_fablix_formula_file() {
    if compset -P '[bgra]='; then _files; else compadd -S '=' -q - b g r a; fi
}
)zsh";

}  // namespace

std::string ManPage() {
    std::string page = ".\\\" Made from the fablix command table at build time.\n";
    page += ".TH FABLIX 1 \"\" \"" + Roff(VersionText()) + "\" \"User Commands\"\n";
    page += ".SH NAME\nfablix \\- compile, render and build formula filters\n.SH SYNOPSIS\n";
    const CommandList commands = ToolCommands();
    for (int32_t i = 0; i < commands.count; ++i) page += ".br\n" + Roff(CommandSynopsis(commands.commands[i])) + "\n";
    page += ".br\nfablix \\-\\-help | \\-\\-version\n";
    page += ".SH DESCRIPTION\n.B fablix\n" + Roff(kManDescription) + "\n";
    page += ".SH COMMANDS\n";
    for (int32_t i = 0; i < commands.count; ++i) {
        const CommandHelp& command = commands.commands[i];
        page += ".SS " + std::string(command.name) + "\n" + Roff(CommandSynopsis(command)) + "\n.PP\n" +
                Roff(std::string(1, char(std::toupper(command.summary[0]))) + (command.summary + 1)) + ".\n";
        if (command.details[0] != '\0') page += Roff(command.details) + "\n";
        AddOptions(command.options, page);
    }
    page += ".SH \"EXISTING OUTPUTS\"\nAn existing OUTPUT is kept unless \\-y is given.\n";
    AddOptions(OverwriteOptionList(), page);
    page +=
        ".SH \"BLOCK OPTIONS\"\nEvery command but help works on one filter block: four formulas and eight "
        "sliders, starting as the editor's default block.\n";
    AddOptions(BlockOptionList(), page);
    page += ".PP\n" + Roff(BlockOptionsNote()) + "\n";
    page += ".SH OPTIONS\n";
    AddOptions(ToolOptionList(), page);
    page += ".SH \"FORMULA NAMES\"\nAll values are 32\\-bit integers; a formula's result is clamped to 0..255.\n";
    for (const NameEntry& entry : LanguageNames())
        page += ".TP\n.B \"" + Roff(entry.form) + "\"\n" + Roff(entry.meaning) + "\n";
    page += ".SH \"EXIT STATUS\"\n";
    for (const auto& exit : kExitMeanings)
        page += ".TP\n.B " + std::to_string(exit.code) + "\n" + Roff(exit.meaning) + "\n";
    page +=
        ".SH FILES\n.TP\n/usr/lib/fablix/FL\\-Fabx.rvp\nthe 32\\-bit Windows plug-in image that build copies\n"
        ".TP\n/usr/lib/frei0r\\-1/fablix.so\nthe frei0r plug-in, which build \\-\\-frei0r "
        "copies\n.TP\n/usr/share/fablix/examples/\nsettings files to start from\n"
        ".TP\n/usr/share/kdenlive/effects/frei0r_fablix.xml\nthe frei0r plug-in's Kdenlive effect description\n";
    page +=
        ".SH \"SEE ALSO\"\n.BR ffmpeg (1),\n.BR melt (1),\n.BR gst\\-launch\\-1.0 (1);\n"
        "/usr/share/doc/fablix/ holds the manual and the formula language.\n";
    return page;
}

std::string BashCompletion() {
    const CommandList commands = ToolCommands();
    std::string script = "# bash completion for fablix, made from its command table at build time.\n";
    script += "_fablix_commands=\"";
    for (int32_t i = 0; i < commands.count; ++i) script += std::string(i ? " " : "") + commands.commands[i].name;
    script += "\"\n\n_fablix_options() {\n    case $1 in\n";
    std::string kinds =
        "# The kind of value the option before the cursor takes, or nothing.\n_fablix_kind() {\n"
        "    case \"$1 $2\" in\n";
    std::string operands = "_fablix_operand() {\n    case $1 in\n";
    for (int32_t i = 0; i < commands.count; ++i) {
        const CommandHelp& command = commands.commands[i];
        std::string words;
        for (const OptionHelp& option : AllOptions(command))
            for (const std::string& spelling : Spellings(option)) {
                words += (words.empty() ? "" : " ") + spelling;
                if (option.kind != kValueNone)
                    kinds += "        \"" + std::string(command.name) + " " + spelling + "\") echo " +
                             kValueKindWords[option.kind] + " ;;\n";
            }
        script += "        " + std::string(command.name) + ") echo \"" + words + "\" ;;\n";
        if (command.operandKind != kValueNone)
            operands +=
                "        " + std::string(command.name) + ") echo " + kValueKindWords[command.operandKind] + " ;;\n";
    }
    std::string topics = "formulas";
    for (int32_t i = 0; i < commands.count; ++i) topics += std::string(" ") + commands.commands[i].name;
    script += "    esac\n}\n\n" + kinds + "    esac\n}\n\n" + operands + "    esac\n}\n";
    std::string functions = kBashFunctions;
    // help's operand is a topic: a command or "formulas".
    const std::string marker = "    _fablix_value \"$(_fablix_operand \"$command\")\" \"$cur\"\n";
    functions.replace(functions.find(marker), marker.size(),
                      "    if [ \"$command\" = help ]; then\n        COMPREPLY=($(compgen -W \"" + topics +
                          "\" -- \"$cur\"))\n        return 0\n    fi\n" + marker);
    return script + functions;
}

std::string ZshCompletion() {
    const CommandList commands = ToolCommands();
    std::string script = "#compdef fablix\n# zsh completion for fablix, made from its command table at build time.\n";
    script += kZshFunctions;
    script += "\n_fablix() {\n    local -a commands\n    commands=(\n";
    for (int32_t i = 0; i < commands.count; ++i)
        script +=
            "        '" + std::string(commands.commands[i].name) + ":" + ZshText(commands.commands[i].summary) + "'\n";
    script +=
        "    )\n    if (( CURRENT == 2 )); then\n        _describe command commands\n"
        "        compadd -- --help --version\n        return\n    fi\n"
        "    local command=$words[2]\n    shift words\n    (( CURRENT-- ))\n    case $command in\n";
    for (int32_t i = 0; i < commands.count; ++i) {
        const CommandHelp& command = commands.commands[i];
        script += "        " + std::string(command.name) + ")\n            _arguments -s";
        for (const OptionHelp& option : AllOptions(command))
            for (const std::string& spelling : Spellings(option)) {
                script += " \\\n                '*" + spelling + "[" + ZshText(option.meaning) + "]";
                if (option.kind != kValueNone)
                    script += ":" + ZshText(option.value) + ":" + ZshText(ZshAction(option.kind));
                script += "'";
            }
        if (std::strcmp(command.name, "help") == 0) {
            script += " \\\n                ':topic:(formulas";
            for (int32_t k = 0; k < commands.count; ++k) script += std::string(" ") + commands.commands[k].name;
            script += ")'";
        } else if (command.operandKind != kValueNone) {
            script += " \\\n                '*:file:" + ZshText(ZshAction(command.operandKind)) + "'";
        }
        script += " ;;\n";
    }
    script += "    esac\n}\n\n_fablix \"$@\"\n";
    return script;
}
