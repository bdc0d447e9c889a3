// The block every host works on: the editor's default block, a settings
// file and the edits on top of it, and the rules a formula text must keep
// to fit its slot. Problems are said on standard error, "fablix: ...".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FilterParams.h"
#include "SettingsSaveLoad.h"

enum BlockStatus : int32_t {
    kBlockOk = 0,
    kBlockRefused = 1,    // a formula or settings file the block cannot take; the message is printed
    kBlockNoDefault = 2,  // the built-in parameter block is missing; the message is printed
};

// One change the command line makes to the block, kept in command-line order
// so that a later option wins over an earlier one.
struct BlockEdit {
    // kPlain: the identity block's formulas (b, g, r, a) in all four slots and
    // single expression mode off, so the picture comes through unchanged.
    enum Kind : int32_t { kFormula, kSlider, kSingle, kPlain };
    Kind kind = kFormula;
    int32_t index = 0;  // formula slot or slider
    int32_t value = 0;  // slider position
    std::string text;   // formula text, already checked to fit its slot
};

// An optional settings file and the edits that go on top of it, in the
// order they were given.
struct BlockOptions {
    std::string settingsPath;  // empty: none
    std::vector<BlockEdit> edits;
};

// The block the options describe: the editor's default block, then the
// settings file's formulas and sliders whatever its place on the command
// line, then the edits in order. kBlockRefused when the settings file
// cannot be read; `params` is then unusable. What the file's
// rules changed (a clamped slider, a cut formula) is said on standard
// error, once; `kept`, when given, receives those notes less what the
// edits replaced.
BlockStatus BuildBlock(const BlockOptions& options, FilterParams* params, SettingsNotes* kept = nullptr);

// The editor's default block, from the plug-in's own PARM resource.
BlockStatus LoadDefaultBlock(FilterParams* params);

// Checks that `text` fits a formula slot: at most 1023 bytes and no zero
// byte. kBlockOk, or kBlockRefused with a message naming `origin`.
BlockStatus CheckFormula(const std::string& text, const std::string& origin);

// Puts formula text that CheckFormula accepted into slot `index`, the rest
// of the slot zeroed.
void StoreFormula(FilterParams* params, int32_t index, const std::string& text);

// Puts formula text into slot `index`, refusing what the block cannot hold.
BlockStatus SetFormula(FilterParams* params, int32_t index, const std::string& text, const std::string& origin);

// "note: settings file 'x.fbl': slider 3: '999' read as 255; formula 2 cut
// to 1008 bytes (...)": one line of every note, or "" when there are none.
std::string SettingsNotesText(const std::string& path, const SettingsNotes& notes);

// "cannot read settings file 'x.fbl': sliders section, line 5: <reason>",
// for a LoadSettingsFile result and its outcome.
// `error` is errno right after the call, for a file that cannot be opened.
std::string SettingsLoadMessage(const std::string& path, SettingsFileResult result, const SettingsOutcome& outcome,
                                int error);
