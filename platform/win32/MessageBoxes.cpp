#include "MessageBoxes.h"

#include <windows.h>

RvWindow HostPopupOwner() {
    HWND main = reinterpret_cast<HWND>(RvGetMainWindow());
    return reinterpret_cast<RvWindow>(main ? GetLastActivePopup(main) : nullptr);
}

void ShowErrorBox(const char* caption, const char* text) {
    MessageBoxA(reinterpret_cast<HWND>(HostPopupOwner()), text, caption, MB_OK | MB_ICONERROR);
}

void ShowInformationBox(const char* caption, const char* text) {
    MessageBoxA(reinterpret_cast<HWND>(HostPopupOwner()), text, caption, MB_OK | MB_ICONINFORMATION);
}

void SoundBeep() { MessageBeep(MB_OK); }
