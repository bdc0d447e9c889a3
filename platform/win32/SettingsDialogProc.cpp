// Turns the settings dialog's window messages into calls of its logic
// (ui/SettingsDialog.h) over the real controls.
#include "SettingsDialogProc.h"

#include "PlatformServices.h"
#include "SettingsDialog.h"
#include "Win32Controls.h"

namespace {

// The Cancel copy and the paused animation: process-wide, as one settings
// dialog is open at a time.
SettingsDialogMemory gMemory;

SettingsDialog Dialog(HWND window) {
    return SettingsDialog{&Win32Controls(), &PlatformServices(), reinterpret_cast<RvWindow>(window), &gMemory};
}

}  // namespace

// Answers 1 for the initialisation and 0 for everything else, so that the
// platform's default handling always follows.
extern "C" INT_PTR CALLBACK VantorelDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const SettingsDialog dialog = Dialog(window);
    switch (message) {
    case WM_INITDIALOG: InitSettingsDialog(dialog, reinterpret_cast<RvHandle>(lParam)); return 1;
    case WM_COMMAND: SettingsDialogCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_TIMER: SettingsDialogTimer(dialog); return 0;
    case WM_PAINT: SettingsDialogPaint(dialog); return 0;
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        item->itemWidth = kErrorButtonSize;
        item->itemHeight = kErrorButtonSize;
        return 0;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        DrawErrorButton(dialog, reinterpret_cast<RvDeviceContext>(item->hDC), (item->itemAction & ODA_DRAWENTIRE) != 0);
        return 0;
    }
    case WM_DESTROY: SettingsDialogDestroyed(dialog); return 0;
    default: return 0;
    }
}
