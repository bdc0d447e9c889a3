// The real settings dialog of the Windows image: setup runs on this thread
// as the host calls it, and a second thread drives the dialog with window
// messages, as a user's keys and clicks would. Hooks on this thread report
// the dialog once it is initialised and shown, and every tick of the
// preview's timer, so that the driver waits on events rather than for set
// times. What the driver sees is kept and checked once setup has returned.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
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
constexpr DWORD kPatience = 20000;   // ms a dialog or a tick may take to come before the driver gives up
constexpr int32_t kNoTime = -1;      // what a tick that never came reports
constexpr int kAnimationPhases = 9;  // the animation's times: 0, total/8, ..., total

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

// What the setup thread does, as it happens: each dialog it opens, once
// initialised and shown (the visibility of its controls holds only then),
// and each tick of the preview's timer it takes from its queue, with the
// clip's time as the ticks before left it (read on the setup thread, which
// alone writes it).
class SetupWatch {
public:
    explicit SetupWatch(const int32_t* time) : time_(time), opened_(CreateSemaphoreA(nullptr, 0, 64, nullptr)) {
        current_ = this;
        const DWORD thread = GetCurrentThreadId();
        sent_ = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, thread);
        taken_ = SetWindowsHookExA(WH_GETMESSAGE, Taken, nullptr, thread);
    }
    ~SetupWatch() {
        UnhookWindowsHookEx(sent_);
        UnhookWindowsHookEx(taken_);
        current_ = nullptr;
        CloseHandle(opened_);
    }
    SetupWatch(const SetupWatch&) = delete;
    SetupWatch& operator=(const SetupWatch&) = delete;

    // The next dialog open, or nullptr when none comes in time.
    HWND NextOpened() {
        if (WaitForSingleObject(opened_, kPatience) != WAIT_OBJECT_0) return nullptr;
        std::lock_guard<std::mutex> hold(lock_);
        return dialog_;
    }
    // Waits for the next tick taken after the call and answers the clip's
    // time as it began: as every earlier tick left it. Once one has failed
    // to come, none is waited for.
    int32_t NextTick() {
        std::unique_lock<std::mutex> hold(lock_);
        if (missed_ > 0) return kNoTime;
        const uint64_t before = ticks_;
        if (!ticked_.wait_for(hold, std::chrono::milliseconds(kPatience), [&] { return ticks_ != before; })) {
            ++missed_;
            return kNoTime;
        }
        return tickTime_;
    }
    // Waits until a whole tick has run since the call: the first tick taken
    // after an edit acts on it, and the next one begins only when that one
    // has returned.
    void WholeTick() {
        NextTick();
        NextTick();
    }
    int32_t MissedTicks() {
        std::lock_guard<std::mutex> hold(lock_);
        return missed_;
    }

private:
    static LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
        const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && current_ != nullptr) current_->Saw(sent->hwnd, sent->message);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    // Also called for messages looked at and left in the queue: only those
    // taken out are dispatched.
    static LRESULT CALLBACK Taken(int code, WPARAM removal, LPARAM lParam) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (code == HC_ACTION && current_ != nullptr && removal == PM_REMOVE && message->message == WM_TIMER)
            current_->Ticked();
        return CallNextHookEx(nullptr, code, removal, lParam);
    }
    // The dialog shows itself after its initialisation or during it; the
    // first message it gets once both have happened reports it.
    void Saw(HWND window, UINT message) {
        std::lock_guard<std::mutex> hold(lock_);
        if (message == WM_INITDIALOG) initialised_ = window;
        if (window != initialised_ || window == dialog_ || !IsWindowVisible(window)) return;
        dialog_ = window;
        ReleaseSemaphore(opened_, 1, nullptr);
    }
    void Ticked() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            ++ticks_;
            tickTime_ = *time_;
        }
        ticked_.notify_all();
    }

    static inline SetupWatch* current_ = nullptr;
    const int32_t* time_;
    HHOOK sent_ = nullptr, taken_ = nullptr;
    HANDLE opened_;
    std::mutex lock_;
    std::condition_variable ticked_;
    HWND initialised_ = nullptr, dialog_ = nullptr;
    uint64_t ticks_ = 0;
    int32_t tickTime_ = kNoTime;
    int32_t missed_ = 0;
};

using Script = std::function<void(HWND dialog, SetupWatch& watch)>;

struct Driver {
    std::string caption;
    Script script;
    SetupWatch& watch;
    std::string opened;
    bool found = false;
};

DWORD WINAPI Drive(void* argument) {
    Driver& driver = *static_cast<Driver*>(argument);
    HWND dialog = driver.watch.NextOpened();
    if (dialog == nullptr) return 0;
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    driver.opened = caption;
    driver.found = driver.opened == driver.caption;
    if (driver.found) driver.script(dialog, driver.watch);
    // Whatever the driver left open is cancelled, so that setup returns.
    if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// Runs setup while `script` works the dialog titled `caption`.
int16_t DrivenSetup(Clip& clip, const std::string& caption, Script script) {
    SetupWatch watch(&clip.record.time);
    Driver driver{caption, std::move(script), watch};
    HANDLE thread = CreateThread(nullptr, 0, Drive, &driver, 0, nullptr);
    const int16_t result = PluginEntry()(kSelectorSetup, &clip.recordAddress);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_TRUE(driver.found) << caption << " (opened: \"" << driver.opened << "\")";
    EXPECT_EQ(watch.MissedTicks(), 0) << caption;
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

    const int16_t result = DrivenSetup(clip, "Driven:Full Settings", [&](HWND dialog, SetupWatch& watch) {
        SetDlgItemTextA(dialog, IDC_FORMULA_0 + 3, "x*4");
        watch.WholeTick();
        seen.pixels.resize(kWidth * kHeight * 4);
        seen.drawings = RvTestLastDrawing(seen.pixels.data(), static_cast<int32_t>(seen.pixels.size()), &seen.width,
                                          &seen.height, &seen.preview);

        SendMessageA(GetDlgItem(dialog, IDC_SLIDER_0 + 1), WM_KEYDOWN, VK_RIGHT, 0);
        seen.label124 = Text(dialog, IDC_SLIDER_VALUE_0 + 1);

        // The first tick after the click begins at the time from before it;
        // each one after that begins one phase on.
        SendMessageA(GetDlgItem(dialog, IDC_ANIMATE), BM_CLICK, 0, 0);
        for (int i = 0; i <= kAnimationPhases; ++i) seen.times.insert(watch.NextTick());
        SendMessageA(GetDlgItem(dialog, IDC_ANIMATE), BM_CLICK, 0, 0);
        watch.WholeTick();
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
    for (int32_t x = 0; x < kWidth; ++x)
        EXPECT_EQ(seen.pixels[static_cast<size_t>(x) * 4 + 3], std::min(x * 4, 255)) << x;
    EXPECT_EQ(seen.label124, "100");
    // Nine times of the clip, 16 * phase / 8, and nothing else.
    const std::set<int32_t> animated = {0, 2, 4, 6, 8, 10, 12, 14, 16};
    for (int32_t t : seen.times) EXPECT_EQ(animated.count(t), 1u) << t;
    EXPECT_GE(seen.times.size(), 5u);
    EXPECT_EQ(seen.times, animated);
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
    const int16_t result = DrivenSetup(clip, "Driven:Cancel Settings", [](HWND dialog, SetupWatch& watch) {
        SetDlgItemTextA(dialog, IDC_FORMULA_0 + 2, "255");
        SendMessageA(GetDlgItem(dialog, IDC_SLIDER_0), WM_KEYDOWN, VK_END, 0);
        SendMessageA(GetDlgItem(dialog, IDC_SINGLE_EXPRESSION), BM_CLICK, 0, 0);
        // A whole tick, so that the edited formula has reached the block.
        watch.WholeTick();
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
    const int16_t result = DrivenSetup(clip, "Driven:Compact Settings", [&](HWND dialog, SetupWatch&) {
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
