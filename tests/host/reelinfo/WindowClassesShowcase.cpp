// A window that holds the host's classes as a plug-in's dialog would: a
// "gedit" formula field, a parameter "Slider" with a painter of its own, a
// frame "Slider" with the host's RvDrawThumb, and a pixel map drawn with
// rpixToScreen. scripts/windows-screenshot runs it under Xvfb and takes the
// picture in docs/.
//
//   window_classes_showcase [SECONDS]   shows the window that long (default 5)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "HostRecords.h"
#include "ReelInfo.h"

namespace {

constexpr UINT kSetRange = 32982, kSetPosition = 32986, kSetPainter = 32990, kGetPosition = 32984;
constexpr int kFormulaId = 201, kSliderId = 401, kValueId = 123, kFrameSliderId = 409;
constexpr int kPreviewWidth = 160, kPreviewHeight = 120;

std::vector<uint8_t> gPixels(kPreviewWidth* kPreviewHeight * 4);
PixelMap gMap{};
PixelMap* gMapAddress = &gMap;

// A framed thumb filled with the host's highlight colour.
void REELINFO_CALLBACK HighlightThumb(RvWindow window, RvDeviceContext context) {
    RECT r;
    GetClientRect(reinterpret_cast<HWND>(window), &r);
    HDC dc = reinterpret_cast<HDC>(context);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    InflateRect(&r, -1, -2);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
    HBRUSH fill = CreateSolidBrush(RvGetColor(1));
    FillRect(dc, &r, fill);
    DeleteObject(fill);
}

// A colour field like a preview frame: red across, green down, blue rings.
void FillPreview(int shift) {
    for (int y = 0; y < kPreviewHeight; ++y)
        for (int x = 0; x < kPreviewWidth; ++x) {
            uint8_t* p = gPixels.data() + (y * kPreviewWidth + x) * 4;
            const int dx = x - kPreviewWidth / 2, dy = y - kPreviewHeight / 2;
            p[0] = static_cast<uint8_t>((dx * dx + dy * dy) / 16 + shift);
            p[1] = static_cast<uint8_t>(y * 2);
            p[2] = static_cast<uint8_t>(x * 255 / kPreviewWidth);
            p[3] = 255;
        }
    gMap.bounds = Rect{0, 0, kPreviewWidth, kPreviewHeight};
    gMap.rowBytes = kPreviewWidth * 4;
    gMap.baseAddress = gPixels.data();
}

void ShowValue(HWND window) {
    char text[16];
    std::snprintf(text, sizeof text, "%d",
                  static_cast<int>(SendDlgItemMessageA(window, kSliderId, kGetPosition, 0, 0)));
    SetDlgItemTextA(window, kValueId, text);
}

LRESULT CALLBACK ShowcaseProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kSliderId) ShowValue(window);
        if (LOWORD(wParam) == kFrameSliderId) {
            FillPreview(static_cast<int>(SendDlgItemMessageA(window, kFrameSliderId, kGetPosition, 0, 0)) * 24);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const Rect source = gMap.bounds;
        const Rect destination{280, 12, 280 + kPreviewWidth, 12 + kPreviewHeight};
        rpixToScreen(&gMapAddress, reinterpret_cast<RvDeviceContext>(dc), &source, &destination);
        const Rect outline{279, 11, 281 + kPreviewWidth, 13 + kPreviewHeight};
        RvFrameRect(reinterpret_cast<RvDeviceContext>(dc), &outline,
                    reinterpret_cast<RvBrush>(GetStockObject(BLACK_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
    case WM_CLOSE: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND Child(HWND parent, const char* className, const char* text, DWORD style, int x, int y, int width, int height,
           int id, HINSTANCE instance) {
    return CreateWindowA(className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    HINSTANCE own = GetModuleHandleA(nullptr);
    HINSTANCE host = reinterpret_cast<HINSTANCE>(RvGetHostInstance());
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ShowcaseProcedure;
    windowClass.hInstance = own;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "Showcase";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("Showcase", "Slider and gedit", WS_OVERLAPPED | WS_CAPTION, 20, 20, 470, 190, nullptr,
                                nullptr, own, nullptr);
    FillPreview(0);

    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    std::vector<HWND> children = {
        Child(window, "Static", "&R:", SS_RIGHT, 8, 14, 20, 16, -1, own),
        Child(window, "gedit", "", WS_BORDER | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_TABSTOP, 32, 12, 230,
              64, kFormulaId, own),
        Child(window, "Static", "Slider 0:", SS_LEFT, 8, 92, 60, 16, -1, own),
        Child(window, "Slider", "", 0x0053, 70, 90, 160, 20, kSliderId, host),
        Child(window, "Static", "000", SS_LEFT, 238, 92, 30, 16, kValueId, own),
        Child(window, "Static", "Frame:", SS_LEFT, 8, 126, 60, 16, -1, own),
        Child(window, "Slider", "", 0x0002, 70, 124, 160, 20, kFrameSliderId, host),
    };
    for (HWND child : children) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);

    SetDlgItemTextA(window, kFormulaId, "r * (255 - x) / X\r\n+ map0(g) / 4");
    SendDlgItemMessageA(window, kSliderId, kSetRange, 0, MAKELPARAM(0, 255));
    SendDlgItemMessageA(window, kSliderId, kSetPainter, 0, reinterpret_cast<LPARAM>(&HighlightThumb));
    SendDlgItemMessageA(window, kSliderId, kSetPosition, 96, 0x10000);
    SendDlgItemMessageA(window, kFrameSliderId, kSetRange, 0, MAKELPARAM(0, 9));
    SendDlgItemMessageA(window, kFrameSliderId, kSetPainter, 0, reinterpret_cast<LPARAM>(&RvDrawThumb));
    // Moved as a user would: three steps with the arrow key.
    HWND frameSlider = GetDlgItem(window, kFrameSliderId);
    for (int step = 0; step < 3; ++step) SendMessageA(frameSlider, WM_KEYDOWN, VK_RIGHT, 0);
    ShowValue(window);

    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetTimer(window, 1, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
