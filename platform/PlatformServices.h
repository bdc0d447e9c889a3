// The services the dialogs and the builder share (Services.h), as this
// platform answers them: its boxes, resources, own module, copy and mapping.
#pragma once

#include "Services.h"

const Services& PlatformServices();
