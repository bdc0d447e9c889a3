// The one dialog icon of the plug-in (105), loaded by setup before a
// settings dialog runs and drawn on its error buttons.
#pragma once

#include <windows.h>

// The icon last loaded; nullptr before the first setup.
HICON DialogIcon();
