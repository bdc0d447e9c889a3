// The message-box port without windows: "caption: text" on the standard
// error stream, with the Windows line ends of the texts made plain.
#include "MessageBox.h"

#include <cstdio>

namespace {

void Write(const char* caption, const char* text) {
    std::fprintf(stderr, "%s: ", caption);
    for (const char* c = text; *c; ++c)
        if (*c != '\r') std::fputc(*c, stderr);
    std::fputc('\n', stderr);
}

}  // namespace

void ShowErrorBox(const char* caption, const char* text) { Write(caption, text); }

void ShowInformationBox(const char* caption, const char* text) { Write(caption, text); }
