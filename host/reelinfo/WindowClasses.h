// The host's window classes, registered by the stand-in under its own
// module instance (RvGetHostInstance) as global classes, so that dialog
// templates of any module and plug-ins can create them by name.
#pragma once

#include <windows.h>

// "Slider": a horizontal slider. Its messages (wParam, lParam):
enum : UINT {
    kSliderSetRange = 32982,     // 0, maximum << 16 | minimum
    kSliderGetPosition = 32984,  // 0, 0 -> the position
    kSliderSetPosition = 32986,  // value, 0x10000
    kSliderSetPainter = 32990,   // 0, the thumb painter (RvThumbPainter)
};
bool RegisterSliderClass(HINSTANCE instance);

// "gedit": the platform's edit control, superclassed; it tells its parent
// of every change of its contents with notification code 0x0300.
bool RegisterGeditClass(HINSTANCE instance);
