// The dialog port: what setup needs from the window system to open the
// settings dialog over the host's window.
#pragma once

#include "ReelInfo.h"

// The settings dialog's procedure (VantorelDlgProc), or nullptr where no
// window system runs dialogs.
RvDialogProc SettingsDialogProcedure();

// The build dialog's procedure (MakeDlgProc), or nullptr likewise.
RvDialogProc BuildDialogProcedure();

// Loads the plug-in's icon (105) from `module` into the one dialog icon
// that the error buttons show.
void LoadDialogIcon(RvInstance module);
