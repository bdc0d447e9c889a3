// Test hooks of the stand-in host services: what tests read or arrange
// beyond the services a plug-in calls. Not part of the host's library.
#pragma once

#include <cstdint>

#include "ReelInfo.h"

extern "C" {

// Every byte of a new handle's block, so that a reader of unset content
// sees something other than zero.
enum { kRvFreshByte = 0xA5 };

// The next RvNewHandle returns 0; the one after succeeds again.
REELINFO_API void RvTestFailNextNewHandle(void);
// Locks minus unlocks of the handle so far (0 for one never locked). Any
// handle can be locked, also one the host made by hand.
REELINFO_API int32_t RvTestLockCount(RvHandle handle);
// Handles made by RvNewHandle and not yet disposed.
REELINFO_API int32_t RvTestLiveHandles(void);
// The block size of a live handle, or -1.
REELINFO_API int32_t RvTestHandleSize(RvHandle handle);
// Calls that broke the rules: disposing a handle that is not live, and
// unlocking a handle that is not locked. Each is ignored, and counted here.
REELINFO_API int32_t RvTestMisuses(void);
// The value RvGetMainWindow returns from now on; 0 restores its own value.
REELINFO_API void RvTestSetMainWindow(RvWindow window);
// How often RvRunDialog was called, and the template id of the last call
// (0 before the first).
REELINFO_API int32_t RvTestDialogRuns(void);
REELINFO_API int32_t RvTestLastDialogTemplate(void);
// Stands in for the dialogs: RvRunDialog calls `runner` with its arguments
// and returns its end code; 0 restores the answer -1.
typedef intptr_t (*RvTestDialogRunner)(int32_t templateId, RvWindow owner, RvDialogProc procedure, RvHandle data,
                                       RvInstance module);
REELINFO_API void RvTestSetDialogRunner(RvTestDialogRunner runner);

#if defined(_WIN32)
// While `enabled`, every dialog RvRunDialog opens ends with `endCode` right
// after its procedure handled the initialisation message, so that tests
// run setup without a user. A template that cannot be loaded still gives -1.
REELINFO_API void RvTestEndDialogsOnOpen(int32_t enabled, intptr_t endCode);
// What rpixToScreen drew last: the part of the map (width x height pixels,
// rows packed, copied into `pixels` when `capacity` bytes hold them) and
// the destination rectangle. Returns how many pictures it has drawn.
REELINFO_API int32_t RvTestLastDrawing(uint8_t* pixels, int32_t capacity, int32_t* width, int32_t* height,
                                       Rect* destination);
#endif

}  // extern "C"
