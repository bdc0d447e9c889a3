#include "ErrorBox.h"

#include <cstring>

#include "Resources.h"

void ShowErrorBox(const ControlsPort& port, const FilterParams* params, int32_t messageId) {
    char text[kMessageCapacity];
    LoadResourceString(messageId, text, sizeof text);  // empty when missing
    char caption[kTextSlotSize];
    const size_t length = strnlen(params->title, kTextSlotSize - 1);
    std::memcpy(caption, params->title, length);
    caption[length] = 0;
    port.errorBox(caption, text);
}
