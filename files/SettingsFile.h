// The "%RGB-1.0" settings file: the eight slider values and the
// four formulas of a FilterParams block, as lines ending in a carriage
// return. Three writers and three readers, one per section, run in the
// order header, sliders, formulas, each only after the one before
// returned 0; and the line operations they are built from.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "SettingsEscape.h"
#include "SettingsStream.h"

// The first line of every settings file.
constexpr char kSettingsHeader[] = "%RGB-1.0";

enum : int32_t {
    kLineEnd = 13,          // the one byte that ends a line
    kLineBufferSize = 256,  // ReadLine's buffer
    kLineMaxLength = 255,   // bytes ReadLine stores before it ends a line anyway
    kFormulaPieceLength = 63,
    // The most a loaded file may hold. The longest file the writer makes
    // holds about 16.5 KB; hand-made files may hold longer formulas, which
    // are cut. Reading stops here, so a device or a huge file cannot keep
    // the reader busy.
    kSettingsFileMaxBytes = 1 << 20,
    kSliderTextNoted = 40,  // bytes of a slider line kept for a note
};

// Statuses of the operations: 0 success, nonzero failure.
enum SettingsStatus : int32_t {
    kSettingsOk = 0,
    kSettingsLineUnreadable = 1,  // end of file or read error before a line end
    kSettingsBadHeader = 2,       // the first line is not "%RGB-1.0"
    kSettingsShortWrite = 3,      // a write stored fewer bytes than asked
    kSettingsCloseFailed = 4,     // the buffered bytes could not be flushed
    kSettingsCannotOpen = 5,      // the file (or its temporary file) cannot be opened
    kSettingsCannotReplace = 6,   // the finished file cannot take the target's place
    kSettingsTooLong = 7,         // the file holds more than its read room (kSettingsFileMaxBytes)
};

enum SettingsSection : int32_t {
    kSectionNone = 0,
    kSectionHeader = 1,
    kSectionSliders = 2,
    kSectionFormulas = 3,
};

// What went wrong and where, for a message that names the section and line.
struct SettingsOutcome {
    SettingsStatus status;
    SettingsSection section;   // of the failure; kSectionNone on success
    int32_t line;              // 1-based ReadLine (WriteLine) call that failed; 0 when no line is concerned
    int32_t fileLine = 0;      // the line of the file it was in, as an editor counts them
    int32_t lineFeedLine = 0;  // a formula line that held a line feed alone, 0: none
};

// What the readers changed without failing: the format's rules take a
// clamped or digitless slider value and a cut formula, and a caller that
// reads a file on a user's behalf says so.
struct SettingsNotes {
    int32_t sliderNoted[kSliderCount];                    // 1: clamped, or no digits (read as 0)
    int32_t sliderValue[kSliderCount];                    // the value stored
    int32_t sliderTextLength[kSliderCount];               // bytes of the line after its first byte
    char sliderText[kSliderCount][kSliderTextNoted + 1];  // their start, zero-terminated
    int64_t formulaLength[kFormulaCount];                 // unescaped characters the file holds
    int32_t formulaKept[kFormulaCount];                   // characters stored; below formulaLength: cut
};

// True when the notes hold anything to say.
bool SettingsNotesSayAnything(const SettingsNotes& notes);

const char* SettingsStatusText(SettingsStatus status);
const char* SettingsSectionName(SettingsSection section);

// Writes the text's bytes, then the line end; the line end only when the
// text's write stored every byte.
SettingsStatus WriteLine(SettingsStream* file, const char* text);

// Reads one line into `buffer` (kLineBufferSize bytes), zero-terminated,
// without its carriage return; at most kLineMaxLength bytes, the rest of a
// longer line forming the next one. Fails at end of file or on a read
// error (kSettingsTooLong once the read room is used up), keeping the
// bytes read so far. `length`, when given, receives the
// number of bytes stored (which may include zero bytes from the file).
SettingsStatus ReadLine(SettingsStream* file, char* buffer, int32_t* length = nullptr);

SettingsStatus WriteHeader(SettingsStream* file, const FilterParams* params);
SettingsStatus WriteSliders(SettingsStream* file, const FilterParams* params);
SettingsStatus WriteFormulas(SettingsStream* file, const FilterParams* params);

SettingsStatus ReadHeader(SettingsStream* file, FilterParams* params);
SettingsStatus ReadSliders(SettingsStream* file, FilterParams* params);
SettingsStatus ReadFormulas(SettingsStream* file, FilterParams* params);

// The three writers (readers) in the fixed order, each only after the one
// before succeeded. Returns the first failure's status, or 0; `outcome`,
// when given, receives it with the section and the line.
SettingsStatus RunWriters(SettingsStream* file, const FilterParams* params, SettingsOutcome* outcome = nullptr);
SettingsStatus RunReaders(SettingsStream* file, FilterParams* params, SettingsOutcome* outcome = nullptr);
