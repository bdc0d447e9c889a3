#include "ErrorBox.h"

#include "Resources.h"
#include "SlotText.h"

void ErrorBox(const ControlsPort& port, const FilterParams* params, int32_t messageId) {
    char text[kMessageCapacity];
    LoadResourceString(messageId, text, sizeof text);  // empty when missing
    char caption[kTextSlotSize];
    CopySlotText(caption, params->title);
    port.errorBox(caption, text);
}
