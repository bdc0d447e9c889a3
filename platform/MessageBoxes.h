// The user-visible reports: the error box, the information box and the
// default beep. A box is modal, has one OK button, and is owned by the
// host's current pop-up window.
#pragma once

#include "ReelInfo.h"

// The window that owns the plug-in's dialogs and boxes: the most recently
// active pop-up of the host's main window (RvGetMainWindow).
RvWindow HostPopupOwner();

// An error box (error icon) and an information box.
void ShowErrorBox(const char* caption, const char* text);
void ShowInformationBox(const char* caption, const char* text);

// The platform's default beep.
void SoundBeep();
