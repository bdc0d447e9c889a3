// The block options every fablix command shares: which block to work on,
// and what to put in its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Arguments.h"
#include "FilterParams.h"
#include "SettingsSaveLoad.h"

// One change the command line makes to the block, kept in command-line order
// so that a later option wins over an earlier one.
struct BlockEdit {
    enum Kind : int32_t { kFormula, kSlider, kSingle };
    Kind kind = kFormula;
    int32_t index = 0;  // formula slot or slider
    int32_t value = 0;  // slider position
    std::string text;   // formula text, already checked to fit its slot
};

// The block options of one command line: an optional settings file and the
// edits that go on top of it.
struct BlockOptions {
    std::string settingsPath;  // empty: none
    std::vector<BlockEdit> edits;
};

// Reads one block option at args.Peek() into `options`, consuming it and its
// value. Formula files are read here, so a bad one is reported before any
// work starts.
OptionTake TakeBlockOption(Arguments& args, BlockOptions* options);

// The block the options describe: the editor's default block, then the
// settings file's formulas and sliders whatever its place on the command
// line, then the edits in order. kExitUsage (message printed) when the
// settings file cannot be read; `params` is then unusable. What the file's
// rules changed (a clamped slider, a cut formula) is said on standard
// error, once; `kept`, when given, receives those notes less what the
// edits replaced.
int32_t BuildBlock(const BlockOptions& options, FilterParams* params, SettingsNotes* kept = nullptr);

// The editor's default block, from the plug-in's own PARM resource.
int32_t LoadDefaultBlock(FilterParams* params);

// Checks that `text` fits a formula slot: at most 1023 bytes and no zero
// byte. kExitOk, or kExitUsage with a message naming `origin`.
int32_t CheckFormula(const std::string& text, const std::string& origin);

// Puts formula text that CheckFormula accepted into slot `index`, the rest
// of the slot zeroed.
void StoreFormula(FilterParams* params, int32_t index, const std::string& text);

// Puts formula text into slot `index`, refusing what the block cannot hold.
int32_t SetFormula(FilterParams* params, int32_t index, const std::string& text,
                   const std::string& origin);

// "note: settings file 'x.fbl': slider 3: '999' read as 255; formula 2 cut
// to 1008 bytes (...)": one line of every note, or "" when there are none.
std::string SettingsNotesText(const std::string& path, const SettingsNotes& notes);

// "cannot read settings file 'x.fbl': sliders section, line 5: <reason>",
// for a LoadSettingsFile result and its outcome.
// `error` is errno right after the call, for a file that cannot be opened.
std::string SettingsLoadMessage(const std::string& path, SettingsFileResult result, const SettingsOutcome& outcome,
                                int error);
