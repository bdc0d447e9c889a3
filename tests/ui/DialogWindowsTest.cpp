// The real settings dialog of the Windows image: setup runs on this thread
// as the host calls it, and a second thread finds the dialog by its caption
// and drives it with window messages, as a user's keys and clicks would.
// What the driver sees is kept and checked once setup has returned.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Entry.h"
#include "FilterParams.h"
#include "HostRecords.h"
#include "InstanceState.h"
#include "RESOURCE.h"
#include "ReelInfo.h"
#include "ReelInfoTest.h"

namespace {

constexpr int32_t kWidth = 40, kHeight = 30;
constexpr DWORD kTickWait = 700;  // more than two ticks of 250 ms

XFilterEntry PluginEntry() {
    static const XFilterEntry entry = [] {
        HMODULE library = LoadLibraryA(FABLIX_PLUGIN_PATH);
        return library ? reinterpret_cast<XFilterEntry>(reinterpret_cast<void*>(GetProcAddress(library, "xFilter")))
                       : XFilterEntry{};
    }();
    return entry;
}

void FABLIX_STDCALL LoadFrame(int32_t, PixelMap**, PixelMap*, intptr_t) {}

// One clip as the host keeps it: the record and its two frames.
struct Clip {
    std::vector<uint8_t> source, destination;
    PixelMap sourceMap{}, destinationMap{};
    PixelMap* sourceAddress = &sourceMap;
    PixelMap* destinationAddress = &destinationMap;
    FilterRecord record{};
    FilterRecord* recordAddress = &record;

    explicit Clip(int32_t total) {
        for (PixelMap* map : {&sourceMap, &destinationMap}) {
            map->bounds = {0, 0, kWidth, kHeight};
            map->rowBytes = kWidth * 4;
        }
        source.resize(kWidth * kHeight * 4);
        for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
        destination.assign(source.size(), 0);
        sourceMap.baseAddress = source.data();
        destinationMap.baseAddress = destination.data();
        record.sourceMap = &sourceAddress;
        record.destinationMap = &destinationAddress;
        record.total = total;
        record.sourceFrameCallback = LoadFrame;
        // The first call creates the state; selector 5 does nothing else.
        PluginEntry()(5, &recordAddress);
    }
    ~Clip() { RvDisposeHandle(reinterpret_cast<RvHandle>(record.instanceHandle)); }
    InstanceState* State() { return *record.instanceHandle; }
    FilterParams& Params() { return State()->params; }
};

struct Driver {
    std::string caption;
    std::function<void(HWND)> drive;
    DWORD setupThread;
    bool found = false;
};

DWORD WINAPI Drive(void* argument) {
    Driver& driver = *static_cast<Driver*>(argument);
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && dialog == nullptr; ++i) {
        Sleep(50);
        dialog = FindWindowA(nullptr, driver.caption.c_str());
    }
    driver.found = dialog != nullptr;
    if (dialog == nullptr) return 0;
    driver.drive(dialog);
    // Whatever the driver left open is cancelled, so that setup returns.
    if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// Runs setup while `drive` works the dialog titled `caption`.
int16_t DrivenSetup(Clip& clip, const std::string& caption, std::function<void(HWND)> drive) {
    Driver driver{caption, std::move(drive), GetCurrentThreadId()};
    HANDLE thread = CreateThread(nullptr, 0, Drive, &driver, 0, nullptr);
    const int16_t result = PluginEntry()(kSelectorSetup, &clip.recordAddress);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_TRUE(driver.found) << caption;
    return result;
}

std::string Text(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void SetTitle(FilterParams& params, const char* title) {
    std::memset(params.title, 0, sizeof params.title);
    std::strcpy(params.title, title);
}

// Type a formula, move a slider, run the animation, press OK with a
// failing formula, fix it and press OK again.
TEST(SettingsDialogWindow, EditsPreviewsAnimatesAndAcceptsOnlyFormulasThatCompile) {
    Clip clip(16);
    SetTitle(clip.Params(), "Driven:Full");
    struct Seen {
        int32_t drawings = 0, width = 0, height = 0;
        std::vector<uint8_t> pixels;
        Rect preview{};
        std::string label124;
        std::set<int32_t> times;
        intptr_t sliderPosition = -1;
        bool openAfterFailedOk = false;
        DWORD selection = 0;
        bool focusInField = false;
    } seen;

    const int16_t result = DrivenSetup(clip, "Driven:Full Settings", [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FORMULA_0 + 3, "x*4");
        Sleep(kTickWait);
        seen.pixels.resize(kWidth * kHeight * 4);
        seen.drawings = RvTestLastDrawing(seen.pixels.data(), static_cast<int32_t>(seen.pixels.size()), &seen.width,
                                          &seen.height, &seen.preview);

        SendMessageA(GetDlgItem(dialog, IDC_SLIDER_0 + 1), WM_KEYDOWN, VK_RIGHT, 0);
        seen.label124 = Text(dialog, IDC_SLIDER_VALUE_0 + 1);

        SendMessageA(GetDlgItem(dialog, IDC_ANIMATE), BM_CLICK, 0, 0);
        for (int i = 0; i < 30; ++i) {
            Sleep(100);
            seen.times.insert(clip.record.time);
        }
        SendMessageA(GetDlgItem(dialog, IDC_ANIMATE), BM_CLICK, 0, 0);
        Sleep(kTickWait);
        seen.sliderPosition = SendMessageA(GetDlgItem(dialog, IDC_PREVIEW_SLIDER), 32984, 0, 0);

        SetDlgItemTextA(dialog, IDC_FORMULA_0, "r+$");
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        seen.openAfterFailedOk = IsWindow(dialog) && IsWindowVisible(dialog);
        seen.selection = static_cast<DWORD>(SendMessageA(GetDlgItem(dialog, IDC_FORMULA_0), EM_GETSEL, 0, 0));
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        seen.focusInField = info.hwndFocus == GetDlgItem(dialog, IDC_FORMULA_0);

        SetDlgItemTextA(dialog, IDC_FORMULA_0, "b");
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });

    EXPECT_EQ(result, 0);
    ASSERT_GT(seen.drawings, 0);
    EXPECT_EQ(seen.width, kWidth);
    EXPECT_EQ(seen.height, kHeight);
    EXPECT_EQ(seen.preview.right - seen.preview.left, 160);
    EXPECT_EQ(seen.preview.bottom - seen.preview.top, 120);
    for (int32_t x = 0; x < kWidth; ++x) EXPECT_EQ(seen.pixels[static_cast<size_t>(x) * 4 + 3], std::min(x * 4, 255)) << x;
    EXPECT_EQ(seen.label124, "100");
    // Nine times of the clip, 16 * phase / 8, and nothing else.
    const std::set<int32_t> animated = {0, 2, 4, 6, 8, 10, 12, 14, 16};
    for (int32_t t : seen.times) EXPECT_EQ(animated.count(t), 1u) << t;
    EXPECT_GE(seen.times.size(), 5u);
    EXPECT_EQ(seen.sliderPosition, clip.record.time);
    EXPECT_TRUE(seen.openAfterFailedOk);
    EXPECT_EQ(LOWORD(seen.selection), 2);
    EXPECT_EQ(HIWORD(seen.selection), 3);
    EXPECT_TRUE(seen.focusInField);

    EXPECT_STREQ(clip.Params().formula[0], "b");
    EXPECT_STREQ(clip.Params().formula[3], "x*4");
    EXPECT_EQ(int32_t{clip.Params().sliderValue[1]}, 100);
    EXPECT_EQ(int32_t{clip.State()->compileFailed[0]}, 0);
}

TEST(SettingsDialogWindow, CancelAnswers1WithTheBlockAsItWas) {
    Clip clip(16);
    SetTitle(clip.Params(), "Driven:Cancel");
    FilterParams before;
    std::memcpy(&before, &clip.Params(), sizeof before);
    const int16_t result = DrivenSetup(clip, "Driven:Cancel Settings", [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FORMULA_0 + 2, "255");
        SendMessageA(GetDlgItem(dialog, IDC_SLIDER_0), WM_KEYDOWN, VK_END, 0);
        SendMessageA(GetDlgItem(dialog, IDC_SINGLE_EXPRESSION), BM_CLICK, 0, 0);
        Sleep(kTickWait);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::memcmp(&before, &clip.Params(), sizeof before), 0);
}

// A built plug-in with map 1 and slider 2 enabled: only sliders 2 and 3
// remain, under the map's one label.
TEST(SettingsDialogWindow, TheCompactDialogShowsOnlyTheEnabledControls) {
    Clip clip(16);
    FilterParams& p = clip.Params();
    SetTitle(p, "Driven:Compact");
    p.built = 1;
    p.hasControls = 1;
    std::memset(p.mapEnabled, 0, sizeof p.mapEnabled);
    std::memset(p.sliderEnabled, 0, sizeof p.sliderEnabled);
    p.mapEnabled[1] = 1;
    p.sliderEnabled[2] = 1;
    std::strcpy(p.mapName[1], "Tone");
    std::strcpy(p.author, "By Ada");
    struct Seen {
        std::vector<bool> sliders;
        bool label133 = true, label134 = true, label140 = false;
        std::string map, author;
        bool formulaField = true;
    } seen;
    const int16_t result = DrivenSetup(clip, "Driven:Compact Settings", [&](HWND dialog) {
        for (int id = IDC_SLIDER_0; id < IDC_SLIDER_0 + kSliderCount; ++id)
            seen.sliders.push_back(GetDlgItem(dialog, id) != nullptr);
        seen.label133 = IsWindowVisible(GetDlgItem(dialog, IDC_SLIDER_NAME_0 + 2));
        seen.label134 = IsWindowVisible(GetDlgItem(dialog, IDC_SLIDER_NAME_0 + 3));
        seen.label140 = IsWindowVisible(GetDlgItem(dialog, IDC_MAP_NAME_0 + 1));
        seen.map = Text(dialog, IDC_MAP_NAME_0 + 1);
        seen.author = Text(dialog, IDC_AUTHOR);
        seen.formulaField = GetDlgItem(dialog, IDC_FORMULA_0) != nullptr;
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.sliders, (std::vector<bool>{false, false, true, true, false, false, false, false}));
    EXPECT_FALSE(seen.label133);
    EXPECT_FALSE(seen.label134);
    EXPECT_TRUE(seen.label140);
    EXPECT_EQ(seen.map, "Tone");
    EXPECT_EQ(seen.author, "By Ada");
    EXPECT_FALSE(seen.formulaField);
}

}  // namespace
