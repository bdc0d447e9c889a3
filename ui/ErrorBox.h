// The one way the dialogs report a failure: a modal box with the error
// icon, the block's title as its caption and a message of the string table.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "Services.h"

enum : int32_t { kMessageCapacity = 256 };  // a message shows at most 255 characters

void ErrorBox(const Services& services, const FilterParams* params, int32_t messageId);
