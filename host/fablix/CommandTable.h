// The commands of the tool and their options, as one table: the command
// line's help, the manual page and the shell completions are all made from
// it, so none of them can list an option the others lack.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "Arguments.h"
#include "ExitCodes.h"

// What an option's value (or a command's operand) is, for the completions.
enum ValueKind : int32_t {
    kValueNone = 0,     // a flag: no value
    kValueText,         // free text: a formula, a title, a name
    kValueNumber,       // a whole number, or a size or range of them
    kValueSettings,     // a settings file, *.fbl
    kValueFormulaFile,  // CH=PATH: a channel letter, then any file
    kValueSlider,       // K=V: a slider number, then its position
    kValueSliderName,   // K=NAME: a slider number, then a name
    kValueMapName,      // I=NAME: a map number, then a name
    kValueControls,     // map0,slider1,...: a list of controls
    kValueMedia,        // a picture or a clip
    kValuePlugin,       // a plug-in or its image, *.rvp or *.so
    kValueFolder,       // a folder
};

struct OptionHelp {
    const char* spellings;  // "-y, --overwrite": every spelling, the long one last
    const char* value;      // the value's name in the usage ("FILE.fbl"), or null for a flag
    ValueKind kind;
    const char* meaning;  // one line
};

struct OptionList {
    const OptionHelp* options;
    int32_t count;
};

struct CommandHelp {
    const char* name;
    ExitCode (*run)(Arguments&);
    const char* summary;   // one line
    const char* operands;  // "[INPUT] OUTPUT", or "" for none
    ValueKind operandKind;
    OptionList options;   // the command's own, in the usage's order
    bool blockOptions;    // takes the block options
    bool overwrite;       // takes -y and -n
    const char* details;  // a paragraph after the options, or ""
};

struct CommandList {
    const CommandHelp* commands;
    int32_t count;
};

// Every command, in the order the usage lists them.
CommandList ToolCommands();
// The options every command takes (--settings, the formulas, the sliders).
OptionList BlockOptionList();
// The order the block options apply in, one paragraph.
const char* BlockOptionsNote();
// -y and -n, for the commands that write a file.
OptionList OverwriteOptionList();
// The options of the tool itself: --help and --version.
OptionList ToolOptionList();

// nullptr when no command has that name.
const CommandHelp* FindCommand(const char* name);

// "fablix render [block options] [--time T] ... [INPUT] OUTPUT", from the
// table.
std::string CommandSynopsis(const CommandHelp& command);

// The help of one command, as `fablix COMMAND --help` prints it.
void PrintCommandHelp(const CommandHelp& command, FILE* out);

// "fablix 1.0 (commit 0123abcd)": the project's version and the commit it
// was built from ("unknown" when the source was not in git).
std::string VersionText();
