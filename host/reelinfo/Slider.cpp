// "Slider": a horizontal slider over a range of 16-bit values. The thumb is
// a child window of its own, so that a thumb painter gets a window whose
// client area is the thumb; the slider paints the track beneath it, takes
// the mouse (the thumb lets it through) and the arrow keys, and tells its
// parent of every move with a command message carrying its id.
#include <windows.h>

#include "ReelInfo.h"
#include "WindowClasses.h"

namespace {

const char kSliderClass[] = "Slider";
const char kThumbClass[] = "RvSliderThumb";
constexpr int kThumbWidth = 11;
constexpr int kTrackHeight = 4;
constexpr int kPageSteps = 10;  // Page Up/Down move a tenth of the range

struct SliderState {
    int32_t minimum = 0;
    int32_t maximum = 100;
    int32_t position = 0;
    RvThumbPainter painter = RvDrawThumb;
    HWND thumb = nullptr;
    bool dragging = false;
};

SliderState* StateOf(HWND slider) { return reinterpret_cast<SliderState*>(GetWindowLongPtrA(slider, GWLP_USERDATA)); }

int TravelWidth(HWND slider) {
    RECT client;
    GetClientRect(slider, &client);
    const int travel = client.right - kThumbWidth;
    return travel > 0 ? travel : 0;
}

int32_t Clamp(const SliderState& s, int32_t value) {
    return value < s.minimum ? s.minimum : value > s.maximum ? s.maximum : value;
}

void PlaceThumb(HWND slider, const SliderState& s) {
    RECT client;
    GetClientRect(slider, &client);
    const int32_t span = s.maximum - s.minimum;
    const int x = span > 0 ? MulDiv(s.position - s.minimum, TravelWidth(slider), span) : 0;
    SetWindowPos(s.thumb, nullptr, x, 0, kThumbWidth, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(s.thumb, nullptr, TRUE);
    InvalidateRect(slider, nullptr, TRUE);
}

// A move by the user: only a real change is told to the parent.
void MoveTo(HWND slider, SliderState& s, int32_t value) {
    value = Clamp(s, value);
    if (value == s.position) return;
    s.position = value;
    PlaceThumb(slider, s);
    const int id = GetDlgCtrlID(slider);
    SendMessageA(GetParent(slider), WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(slider));
}

int32_t ValueAt(HWND slider, const SliderState& s, int x) {
    const int travel = TravelWidth(slider);
    if (travel == 0) return s.minimum;
    return s.minimum + MulDiv(x - kThumbWidth / 2, s.maximum - s.minimum, travel);
}

void PaintTrack(HWND slider) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(slider, &paint);
    RECT client;
    GetClientRect(slider, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RECT track{kThumbWidth / 2, (client.bottom - kTrackHeight) / 2, client.right - kThumbWidth / 2,
               (client.bottom + kTrackHeight) / 2};
    DrawEdge(dc, &track, EDGE_SUNKEN, BF_RECT);
    if (GetFocus() == slider) DrawFocusRect(dc, &client);
    EndPaint(slider, &paint);
}

bool KeyMove(HWND slider, SliderState& s, WPARAM key) {
    int32_t page = (s.maximum - s.minimum) / kPageSteps;
    if (page < 1) page = 1;
    switch (key) {
    case VK_LEFT:
    case VK_DOWN: MoveTo(slider, s, s.position - 1); return true;
    case VK_RIGHT:
    case VK_UP: MoveTo(slider, s, s.position + 1); return true;
    case VK_PRIOR: MoveTo(slider, s, s.position + page); return true;
    case VK_NEXT: MoveTo(slider, s, s.position - page); return true;
    case VK_HOME: MoveTo(slider, s, s.minimum); return true;
    case VK_END: MoveTo(slider, s, s.maximum); return true;
    default: return false;
    }
}

LRESULT CALLBACK SliderProcedure(HWND slider, UINT message, WPARAM wParam, LPARAM lParam) {
    SliderState* s = StateOf(slider);
    switch (message) {
    case WM_NCCREATE: {
        s = new SliderState;
        SetWindowLongPtrA(slider, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
        break;
    }
    case WM_CREATE: {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        s->thumb = CreateWindowA(kThumbClass, "", WS_CHILD | WS_VISIBLE, 0, 0, kThumbWidth, create->cy, slider, nullptr,
                                 create->hInstance, nullptr);
        if (s->thumb == nullptr) return -1;
        PlaceThumb(slider, *s);
        return 0;
    }
    case WM_NCDESTROY:
        delete s;
        SetWindowLongPtrA(slider, GWLP_USERDATA, 0);
        break;
    case WM_SIZE:
        if (s && s->thumb) PlaceThumb(slider, *s);
        return 0;
    case kSliderSetRange:
        s->minimum = LOWORD(lParam);
        s->maximum = HIWORD(lParam);
        if (s->maximum < s->minimum) s->maximum = s->minimum;
        s->position = Clamp(*s, s->position);
        PlaceThumb(slider, *s);
        return 0;
    case kSliderGetPosition: return s->position;
    case kSliderSetPosition:
        s->position = Clamp(*s, static_cast<int32_t>(wParam));
        PlaceThumb(slider, *s);
        return 0;
    case kSliderSetPainter:
        s->painter = lParam ? reinterpret_cast<RvThumbPainter>(lParam) : RvDrawThumb;
        InvalidateRect(s->thumb, nullptr, TRUE);
        return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
        SetFocus(slider);
        SetCapture(slider);
        s->dragging = true;
        MoveTo(slider, *s, ValueAt(slider, *s, static_cast<short>(LOWORD(lParam))));
        return 0;
    case WM_MOUSEMOVE:
        if (s->dragging) MoveTo(slider, *s, ValueAt(slider, *s, static_cast<short>(LOWORD(lParam))));
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (s->dragging) {
            s->dragging = false;
            if (message == WM_LBUTTONUP) ReleaseCapture();
        }
        return 0;
    case WM_KEYDOWN:
        if (KeyMove(slider, *s, wParam)) return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(slider, nullptr, TRUE); return 0;
    case WM_PAINT: PaintTrack(slider); return 0;
    case WM_ERASEBKGND: return 1;
    }
    return DefWindowProcA(slider, message, wParam, lParam);
}

// The thumb: painted by the slider's painter; the mouse goes through it to
// the slider beneath.
LRESULT CALLBACK ThumbProcedure(HWND thumb, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(thumb, &paint);
        const SliderState* s = StateOf(GetParent(thumb));
        if (s && s->painter) s->painter(reinterpret_cast<RvWindow>(thumb), reinterpret_cast<RvDeviceContext>(dc));
        EndPaint(thumb, &paint);
        return 0;
    }
    }
    return DefWindowProcA(thumb, message, wParam, lParam);
}

}  // namespace

bool RegisterSliderClass(HINSTANCE instance) {
    WNDCLASSA slider{};
    slider.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    slider.lpfnWndProc = SliderProcedure;
    slider.hInstance = instance;
    slider.hCursor = LoadCursor(nullptr, IDC_ARROW);
    slider.lpszClassName = kSliderClass;
    WNDCLASSA thumb{};
    thumb.style = CS_HREDRAW | CS_VREDRAW;
    thumb.lpfnWndProc = ThumbProcedure;
    thumb.hInstance = instance;
    thumb.hCursor = LoadCursor(nullptr, IDC_ARROW);
    thumb.lpszClassName = kThumbClass;
    return RegisterClassA(&slider) != 0 && RegisterClassA(&thumb) != 0;
}
