// Building a plug-in through the real dialogs of the Windows image, end to
// end: setup of FL-Fabx opens the settings dialog, Build the build dialog,
// which a second thread fills in with window messages as a user's keys and
// clicks would; OK writes NAME.rvp beside the image. The new file is then
// loaded as the host loads a plug-in, and its setup and execute are checked.
// A hook on this thread's window procedures reports every dialog the
// moment its initialisation ends, and every one destroyed, so that the
// driver waits on events rather than for set times.
//
// The built files stay beside the image until the next run removes them
// (scripts/dialog-screenshots shows one).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "PluginTestHost.h"
#include "RESOURCE.h"

namespace {

constexpr DWORD kPatience = 20000;  // ms a dialog may take to open or close before the driver gives up

// The dialogs this thread opens and destroys, as they happen.
class DialogWatch {
public:
    DialogWatch()
        : opened_(CreateSemaphoreA(nullptr, 0, 64, nullptr)), closed_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        current_ = this;
        hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());
    }
    ~DialogWatch() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
        CloseHandle(opened_);
        CloseHandle(closed_);
    }
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;

    // The next dialog initialised, or nullptr when none comes in time.
    HWND NextOpened() {
        if (WaitForSingleObject(opened_, kPatience) != WAIT_OBJECT_0) return nullptr;
        std::lock_guard<std::mutex> hold(lock_);
        HWND dialog = fresh_.front();
        fresh_.pop_front();
        return dialog;
    }
    bool WaitClosed(HWND dialog) {
        const DWORD until = GetTickCount() + kPatience;
        for (;;) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                if (std::find(open_.begin(), open_.end(), dialog) == open_.end()) return true;
            }
            const DWORD now = GetTickCount();
            if (static_cast<int32_t>(until - now) <= 0 || WaitForSingleObject(closed_, until - now) != WAIT_OBJECT_0)
                return false;
        }
    }
    std::vector<HWND> StillOpen() {
        std::lock_guard<std::mutex> hold(lock_);
        return open_;
    }

private:
    static LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
        const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && current_ != nullptr) current_->Saw(sent->hwnd, sent->message);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Saw(HWND window, UINT message) {
        std::lock_guard<std::mutex> hold(lock_);
        if (message == WM_INITDIALOG) {
            open_.push_back(window);
            fresh_.push_back(window);
            ReleaseSemaphore(opened_, 1, nullptr);
        } else if (message == WM_NCDESTROY) {
            const auto found = std::find(open_.begin(), open_.end(), window);
            if (found == open_.end()) return;
            open_.erase(found);
            SetEvent(closed_);
        }
    }

    static inline DialogWatch* current_ = nullptr;
    HHOOK hook_ = nullptr;
    HANDLE opened_, closed_;
    std::mutex lock_;
    std::vector<HWND> open_;
    std::deque<HWND> fresh_;
};

std::string WindowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// What the driver does to the dialogs: from its own thread, so that every
// message goes through the dialog thread's queue or its sent-message wait.
// Buttons that open or end a dialog are pressed with posted messages: a
// sent one would wait for the modal loop it starts.
struct Driver {
    DialogWatch& watch;
    std::vector<std::string> problems;

    HWND Expect(const std::string& caption) {
        HWND dialog = watch.NextOpened();
        if (dialog == nullptr) {
            problems.push_back("no dialog \"" + caption + "\" opened");
        } else if (WindowText(dialog) != caption) {
            problems.push_back("dialog \"" + WindowText(dialog) + "\" opened, not \"" + caption + "\"");
            return nullptr;
        }
        return dialog;
    }
    void Press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    // Presses a button that ends the dialog, and waits until it is gone.
    void End(HWND dialog, int id) {
        Press(dialog, id);
        if (!watch.WaitClosed(dialog)) problems.push_back("\"" + WindowText(dialog) + "\" did not close");
    }
    void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    bool Checked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void SetText(HWND dialog, int id, const char* text) {
        SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    std::string Text(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }
    // Moves the focus as Tab would; the dialog selects an edit field's text.
    void Focus(HWND dialog, int id) {
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
    }
    void Type(HWND dialog, int id, const char* text) {
        Focus(dialog, id);
        for (const char* c = text; *c; ++c) SendMessageA(GetDlgItem(dialog, id), WM_CHAR, static_cast<WPARAM>(*c), 1);
    }
    // The text of a message box: its static controls' texts.
    static std::string BoxText(HWND box) {
        std::string text;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM all) {
                char kind[32] = "";
                GetClassNameA(child, kind, sizeof kind);
                if (lstrcmpiA(kind, "Static") == 0) *reinterpret_cast<std::string*>(all) += WindowText(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&text));
        return text;
    }
};

struct Driving {
    Driver driver;
    std::function<void(Driver&)> script;
};

DWORD WINAPI Drive(void* argument) {
    Driving& driving = *static_cast<Driving*>(argument);
    driving.script(driving.driver);
    // Whatever the script left open is cancelled, the last opened first,
    // so that setup returns.
    std::vector<HWND> open = driving.driver.watch.StillOpen();
    for (auto dialog = open.rbegin(); dialog != open.rend(); ++dialog) {
        driving.driver.problems.push_back("\"" + WindowText(*dialog) + "\" left open");
        PostMessageA(*dialog, WM_COMMAND, IDCANCEL, 0);
        driving.driver.watch.WaitClosed(*dialog);
    }
    return 0;
}

// Setup through `entry` while `script` works the dialogs it opens; the
// problems the driver met are test failures, and so is a handle the
// dialogs or the writer kept, left locked or misused.
int16_t DrivenSetup(XFilterEntry entry, HostClip& clip, std::function<void(Driver&)> script) {
    const int32_t live = RvTestLiveHandles(), misuses = RvTestMisuses();
    DialogWatch watch;
    Driving driving{Driver{watch, {}}, std::move(script)};
    HANDLE thread = CreateThread(nullptr, 0, Drive, &driving, 0, nullptr);
    const int16_t result = entry(kSelectorSetup, clip.Handle());
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    for (const std::string& problem : driving.driver.problems) ADD_FAILURE() << problem;
    EXPECT_EQ(RvTestLiveHandles(), live);
    EXPECT_EQ(RvTestMisuses(), misuses);
    EXPECT_EQ(RvTestLockCount(clip.LockHandle()), 0);
    return result;
}

// The test host ends every dialog as it opens; these tests drive them.
struct RealDialogs {
    RealDialogs() {
        PluginModule();  // loading it first switches the ending on
        RvTestEndDialogsOnOpen(0, 0);
    }
    ~RealDialogs() { RvTestEndDialogsOnOpen(1, IDCANCEL); }
};

void FABLIX_STDCALL NoFrame(int32_t, PixelMap**, PixelMap*, intptr_t) {}

// The path of `name` beside the image.
std::string BesideImage(const std::string& name) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(PluginModule(), path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

std::string ImageString(int id) {
    char text[512] = "";
    LoadStringA(PluginModule(), static_cast<UINT>(id), text, sizeof text);
    return text;
}

// The title the host lists a plug-in under: TEXT 1000 from its third byte.
std::string ListedTitle(HMODULE plugin) {
    HRSRC found = FindResourceA(plugin, MAKEINTRESOURCEA(IDR_TEXT), FABLIX_RT_TEXT);
    if (found == nullptr) return "(no TEXT)";
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(plugin, found)));
    return std::string(bytes + 2, strnlen(bytes + 2, SizeofResource(plugin, found) - 2));
}

struct Clip : HostClip {
    Clip() {
        record.sourceFrameCallback = NoFrame;
        record.time = 4;
    }
};

// What the build of FL-Fabx's settings dialog left: the block as the
// dialogs edited it, and what the driver saw.
struct Built {
    FilterParams block{};
    int16_t setupResult = -1;
    bool existedAtSuccess = false;
    std::string successText;
};

// Opens FL-Fabx's settings dialog, presses Build, lets `fill` fill in the
// build dialog, presses OK, and dismisses the success message, which is
// captioned with the `title` the block then holds.
Built BuildThroughTheDialogs(const std::string& file, const std::string& title,
                             std::function<void(Driver&, HWND)> fill) {
    Built built;
    Clip editor;
    EXPECT_EQ(CallPlugin(editor, 5), -1);  // creates the state with the editor's block
    if (editor.State() == nullptr) return built;
    const std::string settingsCaption = std::string(editor.State()->params.title) + " Settings";
    built.setupResult = DrivenSetup(PluginEntry(), editor, [&](Driver& d) {
        HWND settings = d.Expect(settingsCaption);
        if (settings == nullptr) return;
        d.Press(settings, IDC_BUILD);
        HWND build = d.Expect("Build Custom Filter");
        if (build == nullptr) return;
        fill(d, build);
        d.Press(build, IDC_OK);
        HWND success = d.Expect(title);
        if (success == nullptr) return;
        built.existedAtSuccess = GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
        built.successText = Driver::BoxText(success);
        d.End(success, IDOK);
        d.End(settings, IDC_OK);
    });
    built.block = editor.State()->params;
    return built;
}

void ExpectSuccessShown(const Built& built, const std::string& file) {
    EXPECT_EQ(built.setupResult, kEntryOk);
    EXPECT_TRUE(built.existedAtSuccess);
    char expected[1024];
    std::snprintf(expected, sizeof expected, ImageString(IDS_PLUGIN_CREATED).c_str(), file.c_str());
    EXPECT_EQ(built.successText, expected);
}

// The built plug-in, loaded by its file as the host loads it.
XFilterEntry LoadBuilt(const std::string& file, HMODULE* module) {
    *module = LoadLibraryA(file.c_str());
    if (*module == nullptr) return nullptr;
    return reinterpret_cast<XFilterEntry>(reinterpret_cast<void*>(GetProcAddress(*module, "xFilter")));
}

// Ids of the dialog's own controls that are shown (by their own style).
std::set<int> ShownControls(HWND dialog) {
    std::set<int> ids;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) ids.insert(GetDlgCtrlID(child));
    return ids;
}

// The new plug-in's block is the edited one with `built` 1, and its frame
// the runtime's for that block.
void ExpectBuiltBlockAndFrame(XFilterEntry entry, Clip& clip, const FilterParams& expected) {
    ASSERT_NE(clip.State(), nullptr);
    EXPECT_EQ(std::memcmp(&clip.State()->params, &expected, sizeof expected), 0);
    ASSERT_EQ(entry(kSelectorExecute, clip.Handle()), kEntryOk);
    EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, expected, true, clip.record.time));
}

// The editor's block offers sliders 0..5. The driver first types the name
// of a loaded library and leaves the field (1032), then types a ninth
// character the field refuses; it checks Map 1 (which unchecks Sliders 2
// and 3), unchecks Sliders 0 and 1 and checks Slider 7. The plug-in then
// shows Map 1's two sliders under "Tone", Sliders 4 and 5 under their
// names and Slider 7 as "Glow", and nothing else of the eight.
TEST(BuildWindow, BuildsAPluginWhoseSetupShowsOnlyTheChosenControlsAndWhoseExecuteRenders) {
    RealDialogs real;
    const std::string file = BesideImage("BuiltTon.rvp");
    DeleteFileA(file.c_str());
    struct Seen {
        std::string reservedText, reservedCaption, name;
        DWORD selection = 0;
        bool focusInName = false;
        std::vector<bool> boxes;
    } seen;
    const Built built = BuildThroughTheDialogs(file, "Test:Tone Ripple", [&](Driver& d, HWND build) {
        d.Type(build, IDC_MODULE_NAME, "REELINFO");
        PostMessageA(build, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(build, IDC_TITLE)), TRUE);
        if (HWND box = d.Expect("Custom:Fablix")) {
            seen.reservedText = Driver::BoxText(box);
            d.End(box, IDOK);
            seen.selection = static_cast<DWORD>(SendMessageA(GetDlgItem(build, IDC_MODULE_NAME), EM_GETSEL, 0, 0));
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(GetWindowThreadProcessId(build, nullptr), &info);
            seen.focusInName = info.hwndFocus == GetDlgItem(build, IDC_MODULE_NAME);
        }
        d.Type(build, IDC_MODULE_NAME, "BuiltTone");
        seen.name = d.Text(build, IDC_MODULE_NAME);
        d.SetText(build, IDC_TITLE, "Test:Tone Ripple");
        d.SetText(build, IDC_AUTHOR_TEXT, "By the build test");
        for (int id : {IDC_MAP_ENABLED_0 + 1, IDC_SLIDER_ENABLED_0, IDC_SLIDER_ENABLED_0 + 1, IDC_SLIDER_ENABLED_0 + 7})
            d.Click(build, id);
        d.SetText(build, IDC_MAP_NAME_TEXT_0 + 1, "Tone");
        d.SetText(build, IDC_SLIDER_NAME_TEXT_0 + 7, "Glow");
        for (int i = 0; i < kMapCount; ++i) seen.boxes.push_back(d.Checked(build, IDC_MAP_ENABLED_0 + i));
        for (int j = 0; j < kSliderCount; ++j) seen.boxes.push_back(d.Checked(build, IDC_SLIDER_ENABLED_0 + j));
    });

    EXPECT_EQ(seen.reservedText, ImageString(IDS_RESERVED_NAME));
    EXPECT_EQ(LOWORD(seen.selection), 0);
    EXPECT_EQ(HIWORD(seen.selection), 8);
    EXPECT_TRUE(seen.focusInName);
    EXPECT_EQ(seen.name, "BuiltTon");
    EXPECT_EQ(seen.boxes, (std::vector<bool>{false, true, false, false,  // maps
                                             false, false, false, false, true, true, false, true}));
    ExpectSuccessShown(built, file);
    EXPECT_STREQ(built.block.moduleName, "BuiltTon");
    EXPECT_EQ(int32_t{built.block.hasControls}, 1);

    HMODULE module = nullptr;
    const XFilterEntry entry = LoadBuilt(file, &module);
    ASSERT_NE(entry, nullptr) << file;
    EXPECT_EQ(ListedTitle(module), "Test:Tone Ripple...");
    FilterParams expected = built.block;
    expected.built = 1;

    Clip clip;
    ASSERT_EQ(entry(5, clip.Handle()), -1);
    struct Compact {
        std::set<int> shown;
        std::string map, slider4, slider7, author;
    } compact;
    const int16_t result = DrivenSetup(entry, clip, [&](Driver& d) {
        HWND dialog = d.Expect("Test:Tone Ripple Settings");
        if (dialog == nullptr) return;
        compact.shown = ShownControls(dialog);
        compact.map = d.Text(dialog, IDC_MAP_NAME_0 + 1);
        compact.slider4 = d.Text(dialog, IDC_SLIDER_NAME_0 + 4);
        compact.slider7 = d.Text(dialog, IDC_SLIDER_NAME_0 + 7);
        compact.author = d.Text(dialog, IDC_AUTHOR);
        d.End(dialog, IDC_OK);
    });
    EXPECT_EQ(result, kEntryOk);
    const std::set<int> always = {IDC_OK, IDC_CANCEL, IDC_PREVIEW, IDC_PREVIEW_SLIDER, IDC_ANIMATE, IDC_AUTHOR};
    std::set<int> chosen = {IDC_MAP_NAME_0 + 1, IDC_SLIDER_NAME_0 + 4, IDC_SLIDER_NAME_0 + 5, IDC_SLIDER_NAME_0 + 7};
    for (int k : {2, 3, 4, 5, 7}) chosen.insert({IDC_SLIDER_0 + k, IDC_SLIDER_VALUE_0 + k});
    chosen.insert(always.begin(), always.end());
    EXPECT_EQ(compact.shown, chosen);
    EXPECT_EQ(compact.map, "Tone");
    EXPECT_EQ(compact.slider4, "Bluex");
    EXPECT_EQ(compact.slider7, "Glow");
    EXPECT_EQ(compact.author, "By the build test");
    ExpectBuiltBlockAndFrame(entry, clip, expected);
}

// With every box unchecked the plug-in has no dialog: its setup opens
// nothing and compiles, and it renders.
TEST(BuildWindow, APluginBuiltWithNoControlOpensNothingAtSetupAndRenders) {
    RealDialogs real;
    const std::string file = BesideImage("NoCtl.rvp");
    DeleteFileA(file.c_str());
    const Built built = BuildThroughTheDialogs(file, "Custom:Fablix", [](Driver& d, HWND build) {
        d.Type(build, IDC_MODULE_NAME, "NoCtl");
        for (int j = 0; j < kSliderCount; ++j)
            if (d.Checked(build, IDC_SLIDER_ENABLED_0 + j)) d.Click(build, IDC_SLIDER_ENABLED_0 + j);
    });
    ExpectSuccessShown(built, file);
    EXPECT_EQ(int32_t{built.block.hasControls}, 0);

    HMODULE module = nullptr;
    const XFilterEntry entry = LoadBuilt(file, &module);
    ASSERT_NE(entry, nullptr) << file;
    EXPECT_EQ(ListedTitle(module), "Custom:Fablix");
    FilterParams expected = built.block;
    expected.built = 1;

    Clip clip;
    ASSERT_EQ(entry(5, clip.Handle()), -1);
    // Should a dialog open after all, it ends at once and is counted.
    RvTestEndDialogsOnOpen(1, IDCANCEL);
    const int32_t runs = RvTestDialogRuns();
    EXPECT_EQ(entry(kSelectorSetup, clip.Handle()), kEntryOk);
    EXPECT_EQ(RvTestDialogRuns(), runs);
    EXPECT_TRUE(BeginsWithProlog(clip.State()->codeAreas[0]));
    ExpectBuiltBlockAndFrame(entry, clip, expected);
}

}  // namespace
