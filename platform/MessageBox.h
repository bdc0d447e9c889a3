// The message-box port: the error box (error icon, one OK button) and the
// information box, owned by the last active pop-up of the host's main
// window. The posix builds have no windows and write the text to the
// standard error stream instead.
#pragma once

void ShowErrorBox(const char* caption, const char* text);
void ShowInformationBox(const char* caption, const char* text);
