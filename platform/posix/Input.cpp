// The posix builds have no message queue of the host's thread, so no input
// ever waits there: a render always runs to its last row.
#include "Input.h"

bool IsInputWaiting() { return false; }
