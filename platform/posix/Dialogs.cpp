// The posix builds have no window system: no dialog procedure and no icon.
#include "Dialogs.h"

RvDialogProc SettingsDialogProcedure() { return nullptr; }
RvDialogProc BuildDialogProcedure() { return nullptr; }

void LoadDialogIcon(RvInstance) {}
