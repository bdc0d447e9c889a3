// The Build command of the settings dialog: the build dialog names and
// describes a new plug-in, then the writer makes it. The caller pauses the
// animation around it.
#pragma once

#include "SettingsDialog.h"

// Runs the build dialog over the context's records and, when it ends with
// OK, writes the new plug-in.
void RunBuildCommand(const SettingsDialog& dialog, const DialogContext& context);
