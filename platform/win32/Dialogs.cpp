// The dialog port on Windows: the dialogs' procedures and the icon
// of the error buttons.
#include "Dialogs.h"

#include <windows.h>

#include "BuildDialogProc.h"
#include "DialogIcon.h"
#include "RESOURCE.h"
#include "SettingsDialogProc.h"

namespace {

// Process-wide, as one settings dialog is open at a time.
HICON gDialogIcon = nullptr;

}  // namespace

HICON DialogIcon() { return gDialogIcon; }

RvDialogProc SettingsDialogProcedure() { return reinterpret_cast<RvDialogProc>(VantorelDlgProc); }

RvDialogProc BuildDialogProcedure() { return reinterpret_cast<RvDialogProc>(MakeDlgProc); }

void LoadDialogIcon(RvInstance module) {
    gDialogIcon = LoadIconA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(IDI_FABLIX));
}
