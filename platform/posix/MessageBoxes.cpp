// Without a window system the boxes become lines on the standard error
// stream, caption first, as a terminal user would read them.
#include "MessageBoxes.h"

#include <cstdio>

RvWindow HostPopupOwner() { return RvGetMainWindow(); }

void ShowErrorBox(const char* caption, const char* text) {
    std::fprintf(stderr, "%s: error: %s\n", caption ? caption : "", text ? text : "");
}

void ShowInformationBox(const char* caption, const char* text) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
}

void SoundBeep() {
    std::fputc('\a', stderr);
    std::fflush(stderr);
}
