// The posix builds have no window system: no dialog procedure and no icon.
#include "Dialogs.h"

RvDialogProc SettingsDialogProcedure() { return nullptr; }

void LoadDialogIcon(RvInstance) {}
