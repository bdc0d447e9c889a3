// The interruption test looks into the calling thread's queue for any of its
// windows (no window given) without removing anything: a key press first,
// then a left-button press.
#include "Input.h"

#include <windows.h>

bool IsInputWaiting() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) ||
           PeekMessageA(&message, nullptr, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_NOREMOVE);
}
