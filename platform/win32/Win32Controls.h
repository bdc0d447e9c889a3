// The controls port over the real window system and the host's services.
#pragma once

#include "ControlsPort.h"

const ControlsPort& Win32Controls();
