// The interruption port: the render loop asks it after every row whether
// the user wants the render to stop.
#pragma once

// True when a key press or a left-button press is waiting for the calling
// thread; nothing is taken from its queue. (Windows: PeekMessage with
// PM_NOREMOVE over the key and left-button messages.)
bool IsInputWaiting();
