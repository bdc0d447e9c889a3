#include "Win32Controls.h"

#include <windows.h>
#include <commdlg.h>

#include "DialogIcon.h"
#include "ReelInfo.h"
#include "ThumbPainter.h"

namespace {

constexpr UINT_PTR kPreviewTimer = 1;

HWND Hwnd(RvWindow window) { return reinterpret_cast<HWND>(window); }
HWND Item(RvWindow dialog, int32_t id) { return GetDlgItem(Hwnd(dialog), id); }
HDC Hdc(RvDeviceContext dc) { return reinterpret_cast<HDC>(dc); }
HBRUSH Brush(RvBrush brush) { return reinterpret_cast<HBRUSH>(brush); }

// Our Rect and the platform's RECT are four 32-bit sides in the same order.
static_assert(sizeof(Rect) == sizeof(RECT));
RECT* Native(Rect* rect) { return reinterpret_cast<RECT*>(rect); }
const RECT* Native(const Rect* rect) { return reinterpret_cast<const RECT*>(rect); }

bool FileDialog(RvWindow dialog, const FileDialogRequest* request, char* path, int32_t capacity, bool save) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Hwnd(dialog);
    ofn.lpstrFilter = request->fileTypes;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(capacity);
    ofn.lpstrInitialDir = request->initialFolder;
    ofn.lpstrDefExt = request->defaultExtension;
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : 0);
    return (save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn)) != 0;
}

void REELINFO_CALLBACK OwnThumbPainter(RvWindow slider, RvDeviceContext dc) { PaintThumb(Win32Controls(), slider, dc); }

const ControlsPort kControls = {
    .setDialogData = RvSetDialogData,
    .getDialogData = RvGetDialogData,
    .prepareDialog = RvPrepareDialog,
    .setCaption = [](RvWindow dialog, const char* text) { SetWindowTextA(Hwnd(dialog), text); },
    .endDialog = [](RvWindow dialog, int32_t code) { EndDialog(Hwnd(dialog), code); },
    .clientRect = [](RvWindow dialog, Rect* rect) { GetClientRect(Hwnd(dialog), Native(rect)); },
    .startTimer = [](RvWindow dialog,
                     int32_t ms) { SetTimer(Hwnd(dialog), kPreviewTimer, static_cast<UINT>(ms), nullptr); },
    .stopTimer = [](RvWindow dialog) { KillTimer(Hwnd(dialog), kPreviewTimer); },

    .hasControl = [](RvWindow dialog, int32_t id) { return Item(dialog, id) != nullptr; },
    .setText = [](RvWindow dialog, int32_t id, const char* text) { SetDlgItemTextA(Hwnd(dialog), id, text); },
    .getText =
        [](RvWindow dialog, int32_t id, char* buffer, int32_t capacity) {
            HWND item = Item(dialog, id);
            if (item == nullptr) return false;
            buffer[0] = 0;
            GetWindowTextA(item, buffer, capacity);
            return true;
        },
    .show =
        [](RvWindow dialog, int32_t id, bool visible) {
            if (HWND item = Item(dialog, id)) ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
        },
    .setCheck =
        [](RvWindow dialog, int32_t id, bool checked) {
            if (Item(dialog, id)) CheckDlgButton(Hwnd(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
        },
    .isChecked = [](RvWindow dialog, int32_t id) { return IsDlgButtonChecked(Hwnd(dialog), id) == BST_CHECKED; },
    .selectText =
        [](RvWindow dialog, int32_t id, int32_t start, int32_t end) {
            if (HWND item = Item(dialog, id)) SendMessageA(item, EM_SETSEL, static_cast<WPARAM>(start), end);
        },
    .limitText =
        [](RvWindow dialog, int32_t id, int32_t characters) {
            if (HWND item = Item(dialog, id)) SendMessageA(item, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
        },
    .focus =
        [](RvWindow dialog, int32_t id) {
            if (HWND item = Item(dialog, id)) SetFocus(item);
        },
    .repaintNow =
        [](RvWindow dialog, int32_t id) {
            if (HWND item = Item(dialog, id)) {
                InvalidateRect(item, nullptr, TRUE);
                UpdateWindow(item);
            }
        },
    .sendMessage = [](RvWindow dialog, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
        HWND item = Item(dialog, id);
        return item != nullptr ? SendMessageA(item, message, wParam, lParam) : 0;
    },
    .controlRect =
        [](RvWindow dialog, int32_t id, Rect* rect) {
            if (Item(dialog, id) == nullptr) return false;
            RvGetItemRect(dialog, id, rect);
            return true;
        },
    .moveControl =
        [](RvWindow dialog, int32_t id, const Rect* r) {
            if (HWND item = Item(dialog, id))
                MoveWindow(item, r->left, r->top, r->right - r->left, r->bottom - r->top, TRUE);
        },
    .replaceBySlider =
        [](RvWindow dialog, int32_t placeholder, int32_t id, uint32_t style) {
            HWND item = Item(dialog, placeholder);
            if (item == nullptr) return false;
            RECT r;
            GetWindowRect(item, &r);
            MapWindowPoints(nullptr, Hwnd(dialog), reinterpret_cast<POINT*>(&r), 2);
            DestroyWindow(item);
            HWND slider =
                CreateWindowExA(0, "Slider", "", WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, Hwnd(dialog), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                reinterpret_cast<HINSTANCE>(RvGetHostInstance()), nullptr);
            return slider != nullptr;
        },
    .destroyControl =
        [](RvWindow dialog, int32_t id) {
            if (HWND item = Item(dialog, id)) DestroyWindow(item);
        },

    .openFileDialog = [](RvWindow dialog, const FileDialogRequest* request, char* path,
                         int32_t capacity) { return FileDialog(dialog, request, path, capacity, false); },
    .saveFileDialog = [](RvWindow dialog, const FileDialogRequest* request, char* path,
                         int32_t capacity) { return FileDialog(dialog, request, path, capacity, true); },

    .beginDrawing = [](RvWindow dialog) { return reinterpret_cast<RvDeviceContext>(GetDC(Hwnd(dialog))); },
    .endDrawing = [](RvWindow dialog, RvDeviceContext dc) { ReleaseDC(Hwnd(dialog), Hdc(dc)); },
    .drawPixelMap = rpixToScreen,
    .frameRect = RvFrameRect,
    .fillRect = [](RvDeviceContext dc, const Rect* rect,
                   RvBrush brush) { FillRect(Hdc(dc), Native(rect), Brush(brush)); },
    .stockBrush =
        [](StockBrush which) {
            return reinterpret_cast<RvBrush>(GetStockObject(which == kBlackBrush ? BLACK_BRUSH : WHITE_BRUSH));
        },
    .createSolidBrush = [](uint32_t color) { return reinterpret_cast<RvBrush>(CreateSolidBrush(color)); },
    .deleteBrush = [](RvBrush brush) { DeleteObject(Brush(brush)); },
    .buttonFaceColor = []() -> uint32_t { return GetSysColor(COLOR_BTNFACE); },
    .hostColor = RvGetColor,
    .thumbDrawQuery = RvThumbDrawQuery,
    .windowClientRect = [](RvWindow window, Rect* rect) { GetClientRect(Hwnd(window), Native(rect)); },
    .drawDialogIcon =
        [](RvDeviceContext dc, int32_t x, int32_t y) {
            if (DialogIcon() != nullptr) DrawIcon(Hdc(dc), x, y, DialogIcon());
        },

    .hostThumbPainter = RvDrawThumb,
    .ownThumbPainter = OwnThumbPainter,
};

}  // namespace

const ControlsPort& Win32Controls() { return kControls; }
