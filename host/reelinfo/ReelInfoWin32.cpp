// The windowing services of the stand-in on Windows: modal dialogs from a
// module's templates, the host's main window, window data of dialogs,
// control rectangles, drawing, and the host's window classes.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "ReelInfo.h"
#include "ReelInfoShared.h"
#include "ReelInfoTest.h"
#include "WindowClasses.h"

namespace {

HINSTANCE gInstance = nullptr;
HWND gMainWindow = nullptr;

const char kMainWindowClass[] = "RvHostMainWindow";
const char kDialogDataProperty[] = "RvDialogData";

// The test hook's dialog ending, and the procedure it stands in front of
// (one dialog at a time, as in the host).
bool gEndDialogsOnOpen = false;
intptr_t gEndCode = 0;
RvDialogProc gWrappedProcedure = nullptr;

// The last picture rpixToScreen drew, for tests that drive a dialog from
// another thread.
struct Drawing {
    std::mutex lock;
    int32_t count = 0;
    int32_t width = 0, height = 0;
    Rect destination{};
    std::vector<uint8_t> pixels;
};
Drawing gDrawing;

INT_PTR CALLBACK EndOnOpenProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const RvWindow window = reinterpret_cast<RvWindow>(dialog);
    INT_PTR result = gWrappedProcedure ? gWrappedProcedure(window, message, wParam, lParam) : FALSE;
    if (message == WM_INITDIALOG) EndDialog(dialog, gEndCode);
    return result;
}

HWND Window(RvWindow window) { return reinterpret_cast<HWND>(window); }

void CreateMainWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = gInstance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassA(&windowClass);
    gMainWindow = CreateWindowA(kMainWindowClass, "Host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                gInstance, nullptr);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gInstance = instance;
        RegisterSliderClass(instance);
        RegisterGeditClass(instance);
    }
    return TRUE;
}

extern "C" {

// DialogBoxParamA answers -1 itself when the template is missing or the
// dialog cannot be created.
intptr_t RvRunDialog(int32_t templateId, RvWindow owner, RvDialogProc procedure, RvHandle data, RvInstance module) {
    CountDialogRun(templateId);
    if (RvTestDialogRunner runner = TestDialogRunner()) return runner(templateId, owner, procedure, data, module);
    DLGPROC run = reinterpret_cast<DLGPROC>(procedure);
    if (gEndDialogsOnOpen) {
        gWrappedProcedure = procedure;
        run = EndOnOpenProcedure;
    }
    return DialogBoxParamA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(templateId), Window(owner), run,
                           reinterpret_cast<LPARAM>(data));
}

RvWindow RvGetMainWindow(void) {
    if (RvWindow window = TestMainWindow()) return window;
    if (gMainWindow == nullptr) CreateMainWindow();
    return reinterpret_cast<RvWindow>(gMainWindow);
}

void RvSetDialogData(RvWindow dialog, RvHandle data) {
    if (data)
        SetPropA(Window(dialog), kDialogDataProperty, reinterpret_cast<HANDLE>(data));
    else
        RemovePropA(Window(dialog), kDialogDataProperty);
}

RvHandle RvGetDialogData(RvWindow dialog) {
    return reinterpret_cast<RvHandle>(GetPropA(Window(dialog), kDialogDataProperty));
}

// Centres the dialog on its owner, or on the screen's work area when it has
// no visible owner.
void RvPrepareDialog(RvWindow dialog) {
    RECT area;
    HWND owner = GetWindow(Window(dialog), GW_OWNER);
    if (owner == nullptr || !IsWindowVisible(owner) || !GetWindowRect(owner, &area))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT box;
    if (!GetWindowRect(Window(dialog), &box)) return;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    SetWindowPos(Window(dialog), nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A missing control gives the empty rectangle, all four sides 0.
void RvGetItemRect(RvWindow dialog, int32_t controlId, Rect* rect) {
    if (rect == nullptr) return;
    *rect = Rect{0, 0, 0, 0};
    HWND control = GetDlgItem(Window(dialog), controlId);
    RECT box;
    if (control == nullptr || !GetWindowRect(control, &box)) return;
    MapWindowPoints(nullptr, Window(dialog), reinterpret_cast<POINT*>(&box), 2);
    *rect = Rect{box.left, box.top, box.right, box.bottom};
}

// The source part (cut to the map's bounds) is copied into one top-down
// bitmap of its own, so that StretchDIBits reads it whole, whatever the
// map's row stride.
void rpixToScreen(PixelMap** map, RvDeviceContext dc, const Rect* source, const Rect* destination) {
    if (map == nullptr || *map == nullptr || source == nullptr || destination == nullptr) return;
    const PixelMap& pixels = **map;
    const int32_t left = source->left > pixels.bounds.left ? source->left : pixels.bounds.left;
    const int32_t top = source->top > pixels.bounds.top ? source->top : pixels.bounds.top;
    const int32_t right = source->right < pixels.bounds.right ? source->right : pixels.bounds.right;
    const int32_t bottom = source->bottom < pixels.bounds.bottom ? source->bottom : pixels.bounds.bottom;
    if (right <= left || bottom <= top || pixels.baseAddress == nullptr) return;
    const int32_t width = right - left;
    const int32_t height = bottom - top;
    std::vector<uint8_t> copy(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* from = static_cast<const uint8_t*>(pixels.baseAddress) +
                              static_cast<intptr_t>(top - pixels.bounds.top + row) * pixels.rowBytes +
                              static_cast<intptr_t>(left - pixels.bounds.left) * 4;
        std::memcpy(copy.data() + static_cast<size_t>(row) * width * 4, from, static_cast<size_t>(width) * 4);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    {
        std::lock_guard<std::mutex> hold(gDrawing.lock);
        gDrawing.count++;
        gDrawing.width = width;
        gDrawing.height = height;
        gDrawing.destination = *destination;
        gDrawing.pixels = copy;
    }
    HDC target = reinterpret_cast<HDC>(dc);
    SetStretchBltMode(target, COLORONCOLOR);
    StretchDIBits(target, destination->left, destination->top, destination->right - destination->left,
                  destination->bottom - destination->top, 0, 0, width, height, copy.data(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
}

void RvFrameRect(RvDeviceContext dc, const Rect* rect, RvBrush brush) {
    if (rect == nullptr) return;
    const RECT box{rect->left, rect->top, rect->right, rect->bottom};
    FrameRect(reinterpret_cast<HDC>(dc), &box, reinterpret_cast<HBRUSH>(brush));
}

// Index 1: the highlight colour; every other index: the text colour.
uint32_t RvGetColor(int32_t index) { return GetSysColor(index == 1 ? COLOR_HIGHLIGHT : COLOR_WINDOWTEXT); }

// Thumbs are painted by the painter a slider was given; the answer says so.
int32_t RvThumbDrawQuery(void) { return 1; }

// A plain raised thumb over the window's client area.
void REELINFO_CALLBACK RvDrawThumb(RvWindow slider, RvDeviceContext dc) {
    RECT box;
    if (!GetClientRect(Window(slider), &box)) return;
    HDC target = reinterpret_cast<HDC>(dc);
    FillRect(target, &box, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(target, &box, EDGE_RAISED, BF_RECT);
}

RvInstance RvGetHostInstance(void) { return reinterpret_cast<RvInstance>(gInstance); }

void RvTestEndDialogsOnOpen(int32_t enabled, intptr_t endCode) {
    gEndDialogsOnOpen = enabled != 0;
    gEndCode = endCode;
}

int32_t RvTestLastDrawing(uint8_t* pixels, int32_t capacity, int32_t* width, int32_t* height, Rect* destination) {
    std::lock_guard<std::mutex> hold(gDrawing.lock);
    if (width) *width = gDrawing.width;
    if (height) *height = gDrawing.height;
    if (destination) *destination = gDrawing.destination;
    if (pixels && capacity >= static_cast<int32_t>(gDrawing.pixels.size()))
        std::memcpy(pixels, gDrawing.pixels.data(), gDrawing.pixels.size());
    return gDrawing.count;
}

}  // extern "C"
