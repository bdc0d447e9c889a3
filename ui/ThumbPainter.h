// The plug-in's own painter of a parameter slider's thumb: rings of button
// face, a black and a white ring, and a core in the host's colour 1.
#pragma once

#include "ControlsPort.h"

// Paints the thumb of `slider` into `dc`. Each platform hands sliders a
// routine of the host's painter type that calls this with its own port.
void PaintThumb(const ControlsPort& port, RvWindow slider, RvDeviceContext dc);
