// Saving and loading a whole settings file, shared by the settings dialog
// and the command-line tool.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "SettingsFile.h"

// What a save or a load came to; the dialogs show each failure as a
// message of the string table of its own.
enum SettingsFileResult : int32_t {
    kSettingsFileDone = 0,
    kSettingsFileOpenError = 1,   // the file cannot be opened (or created, or replaced)
    kSettingsFileWriteError = 2,  // a write or the close failed
    kSettingsFileReadError = 3,   // a section could not be read
};

// Writes the settings of `params` to `path`. The file is written under a
// temporary name in the same folder, put on the disk, and moved over
// `path` in one step only when every write, the flush and the close
// succeeded, so a failed save leaves an existing file as it was and no
// temporary file behind. Returns kSettingsFileDone,
// kSettingsFileOpenError when the file cannot be created (or an existing
// one cannot be written to or replaced), or kSettingsFileWriteError when a
// write or the close failed. `outcome`, when given, says where.
// `writeRoom` (tests only) limits the bytes the writes may store; below 0
// no limit.
SettingsFileResult SaveSettingsFile(const char* path, const FilterParams* params, SettingsOutcome* outcome = nullptr,
                                    int64_t writeRoom = -1);

// Reads the settings file at `path` into a copy of `*params` and copies it
// back only when every section was read, so a failure leaves `*params` as
// it was. Reading stops after kSettingsFileMaxBytes (kSettingsTooLong).
// Returns kSettingsFileDone, kSettingsFileOpenError or kSettingsFileReadError. `notes`,
// when given, receives what the rules changed of a file that was read
// (all zero otherwise).
SettingsFileResult LoadSettingsFile(const char* path, FilterParams* params, SettingsOutcome* outcome = nullptr,
                                    SettingsNotes* notes = nullptr);
