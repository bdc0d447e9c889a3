// The builder's ports as this platform answers them: what the Build command
// and the command-line tool hand to the writer.
#pragma once

#include "BuilderPorts.h"

BuilderPorts PlatformBuilderPorts();
