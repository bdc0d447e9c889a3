// Turns the build dialog's window messages into calls of its logic
// (ui/BuildDialog.h) over the real controls.
#include "BuildDialogProc.h"

#include "BuildDialog.h"
#include "PlatformServices.h"
#include "Win32Controls.h"

namespace {

// Process-wide, as one build dialog is open at a time.
BuildDialogMemory gMemory;

}  // namespace

// Answers 1 for the initialisation and 0 for everything else, so that the
// platform's default handling always follows.
extern "C" INT_PTR CALLBACK MakeDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const BuildDialog dialog{&Win32Controls(), &PlatformServices(), reinterpret_cast<RvWindow>(window), &gMemory};
    switch (message) {
    case WM_INITDIALOG: return InitBuildDialog(dialog, reinterpret_cast<RvHandle>(lParam));
    case WM_COMMAND: BuildDialogCommand(dialog, LOWORD(wParam), lParam, HIWORD(wParam)); return 0;
    default: return 0;
    }
}
