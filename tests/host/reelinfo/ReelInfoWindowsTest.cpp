// The stand-in host services on Windows, on real windows (under Xvfb in
// the tests): modal dialogs from a module's templates, dialog data, control
// rectangles, centring, drawing, and the host's window classes "Slider" and
// "gedit" with their messages and their parent's notifications.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "HostRecords.h"
#include "RESOURCE.h"
#include "ReelInfo.h"
#include "ReelInfoTest.h"

namespace {

constexpr UINT kSetRange = 32982, kGetPosition = 32984, kSetPosition = 32986, kSetPainter = 32990;
constexpr WORD kGeditChanged = 0x0300;

// This program carries the resource script, so its own module holds the
// templates, as the image does.
RvInstance OwnModule() { return reinterpret_cast<RvInstance>(GetModuleHandleA(nullptr)); }

// ---------------------------------------------------------------------------
// A parent window that records the command messages it gets.

struct Command {
    WORD id;
    WORD code;
    HWND from;
};
std::vector<Command> gCommands;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) gCommands.push_back({LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)});
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeParent(int left, int top, int width, int height) {
    static const ATOM kClass = [] {
        WNDCLASSA c{};
        c.lpfnWndProc = RecordingProcedure;
        c.hInstance = GetModuleHandleA(nullptr);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        c.lpszClassName = "RecordingParent";
        return RegisterClassA(&c);
    }();
    EXPECT_NE(kClass, 0);
    HWND parent = CreateWindowA("RecordingParent", "Test", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, left, top, width,
                                height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(parent, nullptr);
    gCommands.clear();
    return parent;
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// ---------------------------------------------------------------------------
// Dialogs

struct DialogProbe {
    RvHandle received = nullptr;
    RvHandle attached = nullptr;
    Rect okRect{};
    RECT okExpected{};
    POINT centreOffset{};  // dialog centre minus owner centre after RvPrepareDialog
    bool ranModally = false;
};
DialogProbe gProbe;

POINT Centre(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

intptr_t REELINFO_CALLBACK ProbeProcedure(RvWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    HWND dialog = reinterpret_cast<HWND>(window);
    if (message == WM_INITDIALOG) {
        gProbe.received = reinterpret_cast<RvHandle>(lParam);
        RvSetDialogData(window, gProbe.received);
        gProbe.attached = RvGetDialogData(window);
        RvGetItemRect(window, IDC_OK, &gProbe.okRect);
        gProbe.okExpected = RECT{244, 232, 244 + 40, 232 + 14};
        MapDialogRect(dialog, &gProbe.okExpected);
        RvPrepareDialog(window);
        const POINT dialogCentre = Centre(dialog);
        const POINT ownerCentre = Centre(GetWindow(dialog, GW_OWNER));
        gProbe.centreOffset = {dialogCentre.x - ownerCentre.x, dialogCentre.y - ownerCentre.y};
        // Ends through the modal loop, as a click on OK would.
        PostMessageA(dialog, WM_COMMAND, IDC_OK, 0);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_OK) {
        gProbe.ranModally = true;
        RvSetDialogData(window, nullptr);
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

TEST(WindowsDialogs, RunDialogRunsTheTemplateModallyAndReturnsItsEndCode) {
    HWND owner = MakeParent(100, 80, 700, 560);
    RvHandle data = RvNewHandle(16);
    const int32_t runs = RvTestDialogRuns();
    gProbe = DialogProbe{};
    EXPECT_EQ(RvRunDialog(IDD_SETTINGS, reinterpret_cast<RvWindow>(owner), ProbeProcedure, data, OwnModule()), 1);
    EXPECT_EQ(RvTestDialogRuns(), runs + 1);
    EXPECT_EQ(RvTestLastDialogTemplate(), IDD_SETTINGS);
    EXPECT_EQ(gProbe.received, data);
    EXPECT_EQ(gProbe.attached, data);
    EXPECT_TRUE(gProbe.ranModally);
    const Rect& r = gProbe.okRect;
    EXPECT_EQ(r.left, gProbe.okExpected.left);
    EXPECT_EQ(r.top, gProbe.okExpected.top);
    EXPECT_EQ(r.right, gProbe.okExpected.right);
    EXPECT_EQ(r.bottom, gProbe.okExpected.bottom);
    EXPECT_LE(std::abs(gProbe.centreOffset.x), 1);
    EXPECT_LE(std::abs(gProbe.centreOffset.y), 1);
    RvDisposeHandle(data);
    DestroyWindow(owner);
}

TEST(WindowsDialogs, EveryTemplateOpensAndAMissingOneGivesMinusOne) {
    RvTestEndDialogsOnOpen(1, 2);
    for (int32_t id : {IDD_SETTINGS, IDD_COMPACT_SETTINGS, IDD_BUILD})
        EXPECT_EQ(RvRunDialog(id, RvGetMainWindow(), nullptr, nullptr, OwnModule()), 2) << id;
    EXPECT_EQ(RvRunDialog(999, RvGetMainWindow(), nullptr, nullptr, OwnModule()), -1);
    RvTestEndDialogsOnOpen(0, 0);
}

TEST(WindowsDialogs, ItemRectOfAMissingControlIsEmpty) {
    HWND parent = MakeParent(0, 0, 200, 100);
    Rect r{5, 6, 7, 8};
    RvGetItemRect(reinterpret_cast<RvWindow>(parent), 4242, &r);
    EXPECT_EQ(r.left | r.top | r.right | r.bottom, 0);
    DestroyWindow(parent);
}

TEST(WindowsHost, MainWindowIsATopLevelWindowAndOwnsNoPopUpYet) {
    HWND main = reinterpret_cast<HWND>(RvGetMainWindow());
    ASSERT_TRUE(IsWindow(main));
    EXPECT_EQ(GetParent(main), nullptr);
    EXPECT_EQ(GetLastActivePopup(main), main);
}

TEST(WindowsHost, ColourOneIsTheHighlightAndTheThumbQueryAnswers) {
    EXPECT_EQ(RvGetColor(1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(RvThumbDrawQuery(), 1);
}

// ---------------------------------------------------------------------------
// Drawing, into a 32-bit bitmap that the test reads back

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint32_t* pixels = nullptr;  // top-down, 0x00RRGGBB
    int width, height;

    Canvas(int w, int h, uint32_t fill) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        SelectObject(dc, bitmap);
        for (int i = 0; i < w * h; ++i) pixels[i] = fill;
    }
    ~Canvas() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    uint32_t At(int x, int y) {
        GdiFlush();
        return pixels[y * width + x] & 0xFFFFFF;
    }
};

TEST(WindowsDrawing, PixelMapIsDrawnScaledFromItsOwnRowLayout) {
    // A 4 x 2 map with 8 bytes of padding per row, its bounds not at 0, 0.
    const int32_t kRowBytes = 4 * 4 + 8;
    std::vector<uint8_t> bytes(kRowBytes * 2, 0xEE);
    auto colour = [](int x, int y) { return static_cast<uint32_t>(0x102030 + x * 0x200000 + y * 0x000040); };
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t c = colour(x, y);
            uint8_t* p = bytes.data() + y * kRowBytes + x * 4;
            p[0] = c & 0xFF;          // blue
            p[1] = (c >> 8) & 0xFF;   // green
            p[2] = (c >> 16) & 0xFF;  // red
            p[3] = 0x77;              // alpha, not drawn
        }
    PixelMap map{};
    map.bounds = Rect{10, 20, 14, 22};
    map.rowBytes = kRowBytes;
    map.baseAddress = bytes.data();
    PixelMap* address = &map;

    Canvas canvas(16, 8, 0x000000);
    const Rect whole = map.bounds;
    const Rect doubled{3, 2, 11, 6};
    rpixToScreen(&address, reinterpret_cast<RvDeviceContext>(canvas.dc), &whole, &doubled);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 3 && x < 11 && y >= 2 && y < 6;
            const uint32_t expected = inside ? colour((x - 3) / 2, (y - 2) / 2) : 0;
            ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
        }

    // A part of the map: its second row's last two pixels, one to one.
    Canvas part(4, 2, 0x000000);
    const Rect source{12, 21, 14, 22};
    const Rect destination{1, 1, 3, 2};
    rpixToScreen(&address, reinterpret_cast<RvDeviceContext>(part.dc), &source, &destination);
    EXPECT_EQ(part.At(1, 1), colour(2, 1));
    EXPECT_EQ(part.At(2, 1), colour(3, 1));
    EXPECT_EQ(part.At(0, 1), 0u);
    EXPECT_EQ(part.At(1, 0), 0u);
}

TEST(WindowsDrawing, FrameRectOutlinesOnePixelWide) {
    Canvas canvas(10, 10, 0x000000);
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    const Rect box{2, 3, 8, 9};
    RvFrameRect(reinterpret_cast<RvDeviceContext>(canvas.dc), &box, reinterpret_cast<RvBrush>(brush));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 8 && y >= 3 && y < 9;
            const bool edge = inside && (x == 2 || x == 7 || y == 3 || y == 8);
            ASSERT_EQ(canvas.At(x, y), edge ? 0xFF0000u : 0u) << x << "," << y;
        }
    DeleteObject(brush);
}

// ---------------------------------------------------------------------------
// "Slider"

struct PainterCall {
    HWND window;
    int width, height;
};
std::vector<PainterCall> gPainterCalls;

void REELINFO_CALLBACK RecordingPainter(RvWindow window, RvDeviceContext dc) {
    RECT client;
    GetClientRect(reinterpret_cast<HWND>(window), &client);
    gPainterCalls.push_back({reinterpret_cast<HWND>(window), client.right, client.bottom});
    FillRect(reinterpret_cast<HDC>(dc), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

HWND MakeSlider(HWND parent, int id, DWORD styleBits) {
    HWND slider = CreateWindowA("Slider", "", WS_CHILD | WS_VISIBLE | styleBits, 10, 10, 211, 20, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                reinterpret_cast<HINSTANCE>(RvGetHostInstance()), nullptr);
    EXPECT_NE(slider, nullptr);
    return slider;
}

LRESULT Position(HWND slider) { return SendMessageA(slider, kGetPosition, 0, 0); }

TEST(SliderClass, RangeAndPositionMessagesAnswerAndTellTheParentNothing) {
    HWND parent = MakeParent(50, 50, 300, 120);
    HWND slider = MakeSlider(parent, 401, 0x0053);
    SendMessageA(slider, kSetRange, 0, MAKELPARAM(0, 255));
    EXPECT_EQ(Position(slider), 0);
    struct Case {
        WPARAM set;
        LRESULT get;
    };
    for (const Case& c : {Case{128, 128}, Case{255, 255}, Case{300, 255}, Case{0, 0}}) {
        SendMessageA(slider, kSetPosition, c.set, 0x10000);
        EXPECT_EQ(Position(slider), c.get) << c.set;
    }
    // A narrower range pulls the position into it.
    SendMessageA(slider, kSetPosition, 200, 0x10000);
    SendMessageA(slider, kSetRange, 0, MAKELPARAM(10, 20));
    EXPECT_EQ(Position(slider), 20);
    SendMessageA(slider, kSetPosition, 3, 0x10000);
    EXPECT_EQ(Position(slider), 10);
    Pump();
    EXPECT_TRUE(gCommands.empty());
    DestroyWindow(parent);
}

TEST(SliderClass, KeysAndTheMouseMoveItAndEveryMoveIsTold) {
    HWND parent = MakeParent(50, 50, 300, 120);
    HWND slider = MakeSlider(parent, 404, 0x0053);
    SendMessageA(slider, kSetRange, 0, MAKELPARAM(0, 200));
    SendMessageA(slider, kSetPosition, 100, 0x10000);

    struct Key {
        WPARAM key;
        LRESULT after;
    };
    const Key keys[] = {{VK_RIGHT, 101}, {VK_LEFT, 100}, {VK_UP, 101},    {VK_DOWN, 100}, {VK_PRIOR, 120},
                        {VK_NEXT, 100},  {VK_END, 200},  {VK_RIGHT, 200}, {VK_HOME, 0},   {VK_LEFT, 0}};
    size_t told = 0;
    LRESULT before = Position(slider);
    for (const Key& k : keys) {
        SendMessageA(slider, WM_KEYDOWN, k.key, 0);
        EXPECT_EQ(Position(slider), k.after) << k.key;
        // A key that cannot move it (at an end) tells nothing.
        if (k.after != before) ++told;
        before = k.after;
        ASSERT_EQ(gCommands.size(), told) << k.key;
    }
    for (const Command& c : gCommands) {
        EXPECT_EQ(c.id, 404);
        EXPECT_EQ(c.from, slider);
    }

    // Travel is 200 pixels (211 - an 11-pixel thumb): one pixel per step.
    gCommands.clear();
    SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5 + 50, 10));
    EXPECT_EQ(Position(slider), 50);
    SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5 + 150, 10));
    EXPECT_EQ(Position(slider), 150);
    SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(400, 10));
    EXPECT_EQ(Position(slider), 200);
    SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(400, 10));
    SendMessageA(slider, WM_MOUSEMOVE, 0, MAKELPARAM(5, 10));  // no longer dragged
    EXPECT_EQ(Position(slider), 200);
    ASSERT_EQ(gCommands.size(), 3u);
    for (const Command& c : gCommands) EXPECT_EQ(c.id, 404);
    DestroyWindow(parent);
}

TEST(SliderClass, ThumbIsPaintedByTheGivenPainterOnAWindowOfItsOwn) {
    HWND parent = MakeParent(50, 50, 300, 120);
    HWND slider = MakeSlider(parent, 409, 0x0002);
    SendMessageA(slider, kSetRange, 0, MAKELPARAM(0, 100));
    gPainterCalls.clear();
    SendMessageA(slider, kSetPainter, 0, reinterpret_cast<LPARAM>(&RecordingPainter));
    UpdateWindow(parent);
    RedrawWindow(slider, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ASSERT_FALSE(gPainterCalls.empty());
    const PainterCall& call = gPainterCalls.back();
    EXPECT_EQ(GetParent(call.window), slider);
    EXPECT_EQ(call.width, 11);
    EXPECT_EQ(call.height, 20);

    // The thumb follows the position: at the far end it touches the right edge.
    SendMessageA(slider, kSetPosition, 100, 0x10000);
    RECT thumb;
    GetWindowRect(call.window, &thumb);
    MapWindowPoints(nullptr, slider, reinterpret_cast<POINT*>(&thumb), 2);
    EXPECT_EQ(thumb.right, 211);
    EXPECT_EQ(thumb.left, 200);

    // The host's own painter, given explicitly, paints it too.
    SendMessageA(slider, kSetPainter, 0, reinterpret_cast<LPARAM>(&RvDrawThumb));
    gPainterCalls.clear();
    RedrawWindow(slider, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_TRUE(gPainterCalls.empty());
    DestroyWindow(parent);
}

// ---------------------------------------------------------------------------
// "gedit"

TEST(GeditClass, ChangesAreToldWithCode0x0300AndTheTextIsAnEditControls) {
    HWND parent = MakeParent(50, 50, 300, 160);
    HWND field =
        CreateWindowA("gedit", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
                      10, 10, 200, 80, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(203)),
                      GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(field, nullptr);
    gCommands.clear();
    SetWindowTextA(field, "r*2");
    auto changes = [&] {
        size_t n = 0;
        for (const Command& c : gCommands)
            if (c.id == 203 && c.code == kGeditChanged && c.from == field) ++n;
        return n;
    };
    EXPECT_EQ(changes(), 1u);
    char text[64];
    GetWindowTextA(field, text, sizeof text);
    EXPECT_STREQ(text, "r*2");

    // Typing at the end, Enter included, is a change each time.
    SendMessageA(field, EM_SETSEL, 3, 3);
    SendMessageA(field, WM_CHAR, '\r', 0);
    SendMessageA(field, WM_CHAR, 'x', 0);
    GetWindowTextA(field, text, sizeof text);
    EXPECT_STREQ(text, "r*2\r\nx");
    EXPECT_EQ(changes(), 3u);

    // A span selects as in the platform's own field.
    SendMessageA(field, EM_SETSEL, 1, 3);
    DWORD start = 0, end = 0;
    SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 3u);
    DestroyWindow(parent);
}

}  // namespace
