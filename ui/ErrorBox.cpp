#include "ErrorBox.h"

#include "SlotText.h"

void ErrorBox(const Services& services, const FilterParams* params, int32_t messageId) {
    char text[kMessageCapacity];
    services.loadString(messageId, text, sizeof text);  // empty when missing
    char caption[kTextSlotSize];
    CopySlotText(caption, params->title);
    services.errorBox(caption, text);
}
