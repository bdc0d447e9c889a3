// The host's support library, REELINFO: the services a plug-in calls by name,
// with C linkage. The host supplies the library; host/reelinfo is this
// project's own stand-in for it. Windows, device contexts, brushes and module
// instances are opaque values the plug-in only passes on.
#pragma once

#include <cstdint>

#include "HostRecords.h"  // Rect, PixelMap

#if defined(_WIN32)
#if defined(REELINFO_BUILDING)
#define REELINFO_API __declspec(dllexport)
#else
#define REELINFO_API __declspec(dllimport)
#endif
#else
#define REELINFO_API __attribute__((visibility("default")))
#endif

// Routines the windowing system or the host calls back (dialog procedures,
// thumb painters) use the platform's callback convention.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define REELINFO_CALLBACK __attribute__((stdcall))
#else
#define REELINFO_CALLBACK
#endif

extern "C" {

// A handle: the address of a variable that holds a block's address.
typedef void** RvHandle;

typedef struct RvWindowTag* RvWindow;                // a window (dialog, control, main window)
typedef struct RvDeviceContextTag* RvDeviceContext;  // where painting goes
typedef struct RvBrushTag* RvBrush;                  // a brush for outlines
typedef struct RvInstanceTag* RvInstance;            // a loaded module

// A dialog procedure: window, message, wParam, lParam -> nonzero when handled.
typedef intptr_t(REELINFO_CALLBACK* RvDialogProc)(RvWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
// A thumb painter, handed to a "Slider" window.
typedef void(REELINFO_CALLBACK* RvThumbPainter)(RvWindow slider, RvDeviceContext dc);

// A new handle to a block of `size` bytes whose content is not zeroed, or 0
// when the block cannot be had.
REELINFO_API RvHandle RvNewHandle(int32_t size);
// Frees the handle and its block; 0 is ignored.
REELINFO_API void RvDisposeHandle(RvHandle handle);
// Lock and unlock a handle; the plug-in locks the FilterRecord handle for
// the length of each entry call, the block staying where it is meanwhile.
REELINFO_API void RvHLock(RvHandle handle);
REELINFO_API void RvHUnlock(RvHandle handle);

// Runs dialog template `templateId` of module `module` modally, owned by
// `owner`; `procedure` gets `data` with the initialisation message. Returns
// the dialog's end code (1 = OK), or -1 when the dialog cannot be opened.
REELINFO_API intptr_t RvRunDialog(int32_t templateId, RvWindow owner, RvDialogProc procedure, RvHandle data,
                                  RvInstance module);
// The host's main window; its last active pop-up owns dialogs and message boxes.
REELINFO_API RvWindow RvGetMainWindow(void);
// Attaches a data handle to a dialog window, and reads it back (0 if none).
REELINFO_API void RvSetDialogData(RvWindow dialog, RvHandle data);
REELINFO_API RvHandle RvGetDialogData(RvWindow dialog);
// Called once at the end of a dialog's initialisation.
REELINFO_API void RvPrepareDialog(RvWindow dialog);
// The control's left, top, right, bottom in the dialog's client coordinates.
REELINFO_API void RvGetItemRect(RvWindow dialog, int32_t controlId, Rect* rect);

// Draws part `source` of the pixel map into `destination` of the device context.
REELINFO_API void rpixToScreen(PixelMap** map, RvDeviceContext dc, const Rect* source, const Rect* destination);
// Outlines the rectangle, one pixel wide.
REELINFO_API void RvFrameRect(RvDeviceContext dc, const Rect* rect, RvBrush brush);
// A colour value (0x00BBGGRR) that a solid brush takes; index 1 is used.
REELINFO_API uint32_t RvGetColor(int32_t index);
// Asked before sliders are made; the result is not used.
REELINFO_API int32_t RvThumbDrawQuery(void);
// The host's own thumb painter; plug-ins pass its address to "Slider" windows.
REELINFO_API void REELINFO_CALLBACK RvDrawThumb(RvWindow slider, RvDeviceContext dc);
// The module instance under which "Slider" windows are created.
REELINFO_API RvInstance RvGetHostInstance(void);

}  // extern "C"
