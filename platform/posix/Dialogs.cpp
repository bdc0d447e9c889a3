// The posix builds have no window system: no dialog procedure and no
// icon; the host's main window owns its dialogs itself.
#include "Dialogs.h"

RvDialogProc SettingsDialogProcedure() { return nullptr; }

RvWindow DialogOwner(RvWindow mainWindow) { return mainWindow; }

void LoadDialogIcon(RvInstance) {}
