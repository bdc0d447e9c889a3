// "gedit": the platform's edit control under the host's class name. It tells
// its parent of every change of its contents with EN_CHANGE, the code 0x0300
// plug-ins look for. The edit control does so itself, except when a
// multi-line field's text is set as a whole; gedit tells that one too.
#include <windows.h>

#include "WindowClasses.h"

static_assert(EN_CHANGE == 0x0300, "gedit's change notification is the edit control's");

namespace {

const char kGeditClass[] = "gedit";
WNDPROC gEditProcedure = nullptr;

LRESULT CALLBACK GeditProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcA(gEditProcedure, window, message, wParam, lParam);
    if (message == WM_SETTEXT && result && (GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE)) {
        const int id = GetDlgCtrlID(window);
        SendMessageA(GetParent(window), WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(window));
    }
    return result;
}

}  // namespace

bool RegisterGeditClass(HINSTANCE instance) {
    WNDCLASSEXA edit{};
    edit.cbSize = sizeof edit;
    if (!GetClassInfoExA(nullptr, "EDIT", &edit)) return false;
    gEditProcedure = edit.lpfnWndProc;
    edit.style |= CS_GLOBALCLASS;
    edit.lpfnWndProc = GeditProcedure;
    edit.hInstance = instance;
    edit.lpszClassName = kGeditClass;
    return RegisterClassExA(&edit) != 0;
}
