// What the shared part of the stand-in (ReelInfo.cpp) keeps for the
// platform parts: the dialog-run counters and the main window a test set.
#pragma once

#include <cstdint>

#include "ReelInfo.h"
#include "ReelInfoTest.h"

// Counts a call of RvRunDialog, whatever became of it.
void CountDialogRun(int32_t templateId);

// The window RvTestSetMainWindow set, or nullptr.
RvWindow TestMainWindow();

// The dialog runner RvTestSetDialogRunner set, or nullptr.
RvTestDialogRunner TestDialogRunner();
