// Load and Save of the settings dialog: the file dialogs, the settings-file
// routines and their messages. The caller pauses the animation around them.
#pragma once

#include <cstdint>

#include "SettingsDialog.h"

enum : int32_t { kPathCapacity = 256 };

// Asks for a settings file and reads its slider values and formulas into
// the block and the controls; a file that cannot be read leaves both as
// the dialog showed them. Compiles and repaints in either case.
void LoadSettings(const SettingsDialog& dialog, const DialogContext& context);

// Asks for a file name and writes the block's settings there. A failed
// save leaves a file that was there before as it was.
void SaveSettings(const SettingsDialog& dialog, const DialogContext& context);

// The file-dialog list from a string whose last character is its
// separator: every separator becomes a terminator, and the list ends with
// an empty text. Returns false (and an empty list) for an empty string.
bool SplitFileTypes(const char* text, char* list, int32_t capacity);
