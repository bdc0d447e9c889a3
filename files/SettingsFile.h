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
    kLineEnd = 13,           // the one byte that ends a line
    kLineBufferSize = 256,   // ReadLine's buffer
    kLineMaxLength = 255,    // bytes ReadLine stores before it ends a line anyway
    kFormulaPieceLength = 63,
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
};

enum SettingsSection : int32_t {
    kSectionNone = 0,
    kSectionHeader = 1,
    kSectionSliders = 2,
    kSectionFormulas = 3,
};

// What went wrong and where, for a message that names the section and line.
struct SettingsOutcome {
    int32_t status;   // SettingsStatus
    int32_t section;  // SettingsSection of the failure; kSectionNone on success
    int32_t line;     // 1-based line of the failure; 0 when no line is concerned
};

const char* SettingsStatusText(int32_t status);
const char* SettingsSectionName(int32_t section);

// Writes the text's bytes, then the line end; the line end only when the
// text's write stored every byte.
int32_t WriteLine(SettingsStream* file, const char* text);

// Reads one line into `buffer` (kLineBufferSize bytes), zero-terminated,
// without its carriage return; at most kLineMaxLength bytes, the rest of a
// longer line forming the next one. Fails at end of file or on a read
// error, keeping the bytes read so far. `length`, when given, receives the
// number of bytes stored (which may include zero bytes from the file).
int32_t ReadLine(SettingsStream* file, char* buffer, int32_t* length = nullptr);

int32_t WriteHeader(SettingsStream* file, const FilterParams* params);
int32_t WriteSliders(SettingsStream* file, const FilterParams* params);
int32_t WriteFormulas(SettingsStream* file, const FilterParams* params);

int32_t ReadHeader(SettingsStream* file, FilterParams* params);
int32_t ReadSliders(SettingsStream* file, FilterParams* params);
int32_t ReadFormulas(SettingsStream* file, FilterParams* params);

// The three writers (readers) in the fixed order, each only after the one
// before succeeded. Returns the first failure's status, or 0; `outcome`,
// when given, receives it with the section and the line.
int32_t RunWriters(SettingsStream* file, const FilterParams* params,
                   SettingsOutcome* outcome = nullptr);
int32_t RunReaders(SettingsStream* file, FilterParams* params,
                   SettingsOutcome* outcome = nullptr);
