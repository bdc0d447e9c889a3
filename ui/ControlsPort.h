// The controls port: everything the dialogs do to their window, its
// controls (addressed by id) and the screen; the rest (boxes, strings,
// files) is the services record of Services.h. The dialog logic is written
// once over this table of routines; each platform fills one table (the
// real controls on Windows, controls kept as data in the tests) and passes
// it explicitly with the dialog's window. The table holds no state.
#pragma once

#include <cstdint>

#include "HostRecords.h"
#include "ReelInfo.h"

// The host's "Slider" window class answers these messages.
enum : uint32_t {
    kSliderSetRange = 32982,     // lParam: maximum in the high 16 bits, minimum in the low 16
    kSliderGetPosition = 32984,  // returns the position
    kSliderSetPosition = 32986,  // wParam: the position; lParam kSliderRedraw
    kSliderSetPainter = 32990,   // lParam: the thumb painter's address
};
constexpr intptr_t kSliderRedraw = 0x10000;

// Style bits of the sliders the dialog makes, besides child and visible.
enum : uint32_t {
    kPreviewSliderStyle = 0x0002,
    kParameterSliderStyle = 0x0053,
};

// A formula field's notification that its contents changed.
constexpr int32_t kFieldChanged = 0x0300;

enum StockBrush : int32_t { kBlackBrush, kWhiteBrush };

// What the open and save dialogs are asked for; the answer is the path.
struct FileDialogRequest {
    const char* fileTypes;         // description and pattern pairs, each ended by a
                                   // terminator, the list by an empty text; nullptr: none
    const char* initialFolder;     // nullptr: the platform's choice
    const char* defaultExtension;  // without the dot
};

struct ControlsPort {
    // --- the dialog window
    void (*setDialogData)(RvWindow dialog, RvHandle data);
    RvHandle (*getDialogData)(RvWindow dialog);
    void (*prepareDialog)(RvWindow dialog);  // once, at the end of initialisation
    void (*setCaption)(RvWindow dialog, const char* text);
    void (*endDialog)(RvWindow dialog, int32_t endCode);
    void (*clientRect)(RvWindow dialog, Rect* rect);
    void (*startTimer)(RvWindow dialog, int32_t milliseconds);
    void (*stopTimer)(RvWindow dialog);

    // --- controls by id; on an id with no control these do nothing and
    // the queries answer false or 0
    bool (*hasControl)(RvWindow dialog, int32_t id);
    void (*setText)(RvWindow dialog, int32_t id, const char* text);
    // Copies at most capacity - 1 characters and a terminator; false when
    // there is no such control (the buffer is then untouched).
    bool (*getText)(RvWindow dialog, int32_t id, char* buffer, int32_t capacity);
    void (*show)(RvWindow dialog, int32_t id, bool visible);
    void (*setCheck)(RvWindow dialog, int32_t id, bool checked);
    bool (*isChecked)(RvWindow dialog, int32_t id);
    void (*selectText)(RvWindow dialog, int32_t id, int32_t start, int32_t end);
    // An edit field accepts at most `characters` typed characters; a longer
    // text already there stays whole.
    void (*limitText)(RvWindow dialog, int32_t id, int32_t characters);
    void (*focus)(RvWindow dialog, int32_t id);
    void (*repaintNow)(RvWindow dialog, int32_t id);
    intptr_t (*sendMessage)(RvWindow dialog, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam);
    // The control's window rectangle in the dialog's client coordinates;
    // false when there is no such control.
    bool (*controlRect)(RvWindow dialog, int32_t id, Rect* rect);
    void (*moveControl)(RvWindow dialog, int32_t id, const Rect* rect);
    // Destroys the placeholder and makes a visible "Slider" window of the
    // host's class with id `sliderId` and `style` at its rectangle; false
    // when the slider cannot be made.
    bool (*replaceBySlider)(RvWindow dialog, int32_t placeholderId, int32_t sliderId, uint32_t style);
    void (*destroyControl)(RvWindow dialog, int32_t id);

    // --- the file dialogs, owned by `dialog`: the chosen path into `path`
    // (capacity bytes, passed in empty); false when the user cancels. Save
    // also asks before an existing file is replaced.
    bool (*openFileDialog)(RvWindow dialog, const FileDialogRequest* request, char* path, int32_t capacity);
    bool (*saveFileDialog)(RvWindow dialog, const FileDialogRequest* request, char* path, int32_t capacity);

    // --- drawing: into the dialog's client area, or the device context a
    // paint request brings
    RvDeviceContext (*beginDrawing)(RvWindow dialog);
    void (*endDrawing)(RvWindow dialog, RvDeviceContext dc);
    void (*drawPixelMap)(PixelMap** map, RvDeviceContext dc, const Rect* source,
                         const Rect* destination);                           // the host's rpixToScreen
    void (*frameRect)(RvDeviceContext dc, const Rect* rect, RvBrush brush);  // RvFrameRect
    void (*fillRect)(RvDeviceContext dc, const Rect* rect, RvBrush brush);
    RvBrush (*stockBrush)(StockBrush which);
    RvBrush (*createSolidBrush)(uint32_t color);  // 0x00BBGGRR
    void (*deleteBrush)(RvBrush brush);
    uint32_t (*buttonFaceColor)();
    uint32_t (*hostColor)(int32_t index);                   // RvGetColor
    int32_t (*thumbDrawQuery)();                            // RvThumbDrawQuery
    void (*windowClientRect)(RvWindow window, Rect* rect);  // of any window, a slider's too
    void (*drawDialogIcon)(RvDeviceContext dc, int32_t x, int32_t y);

    // The thumb painters handed to sliders: the host's RvDrawThumb, and
    // this platform's caller of PaintThumb (ui/ThumbPainter.h).
    RvThumbPainter hostThumbPainter;
    RvThumbPainter ownThumbPainter;
};
