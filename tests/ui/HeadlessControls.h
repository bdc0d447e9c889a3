// A headless implementation of the controls port: the controls of
// templates 101 and 102 kept as data, every operation recorded, and a user
// who types, clicks, moves sliders and answers file dialogs; the services
// show their boxes to that user too. The dialog's
// window value is the address of its HeadlessDialog.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ControlsPort.h"
#include "Services.h"
#include "SettingsDialog.h"

namespace ui_test {

enum class Kind { Label, Field, Button, OwnerDrawn, Check, Frame, Placeholder, Slider };

struct Control {
    Kind kind;
    std::string text;
    bool visible = true;
    bool checked = false;
    Rect rect{};
    // a slider's state
    uint32_t style = 0;
    int32_t rangeMin = 0, rangeMax = 0, position = 0;
    intptr_t painter = 0;
    // a field's selection, and the characters typing may reach (0: any)
    int32_t selectionStart = -1, selectionEnd = -1;
    int32_t limit = 0;
};

// What a file dialog was asked.
struct FileRequestSeen {
    bool save;
    std::vector<std::string> fileTypes;  // the list, split at its terminators
    bool hasFileTypes;
    std::string folder;  // "" when none was given
    std::string extension;
};

struct MessageBoxShown {
    bool error;  // else information
    std::string caption, text;
};

struct Drawing {
    Rect source, destination;
    std::vector<uint8_t> pixels;  // the destination map's bytes when drawn
};

struct Outline {
    Rect rect;
    std::string brush;  // "black", "white" or "solid RRGGBB"
};

// The platform's services with the boxes, the beep, the input and the
// plug-in's own path of the current HeadlessDialog.
const Services& HeadlessServices();

// Selects the build dialog's template (104) instead of a settings dialog's.
struct BuildTemplate {};

class HeadlessDialog {
public:
    // The controls of template 101 (full) or 102 (compact), at their
    // places in pixels; the dialog becomes the thread's current one.
    explicit HeadlessDialog(bool compact);
    // The controls of template 104.
    explicit HeadlessDialog(BuildTemplate);
    ~HeadlessDialog();
    HeadlessDialog(const HeadlessDialog&) = delete;
    HeadlessDialog& operator=(const HeadlessDialog&) = delete;

    RvWindow Window() { return reinterpret_cast<RvWindow>(this); }
    SettingsDialog Dialog() { return SettingsDialog{&Port(), &HeadlessServices(), Window(), &memory}; }
    static const ControlsPort& Port();

    // The messages a window system would deliver.
    void Init(RvHandle context) { InitSettingsDialog(Dialog(), context); }
    void Command(int32_t id, int32_t code = 0) { SettingsDialogCommand(Dialog(), id, code); }
    void Tick() { SettingsDialogTimer(Dialog()); }
    void Paint() { SettingsDialogPaint(Dialog()); }

    // The user: each changes the control, then the control notifies.
    void Type(int32_t field, const std::string& text);
    void Click(int32_t checkBox);
    void MoveSlider(int32_t id, int32_t position);

    bool Has(int32_t id) const { return controls.count(id) != 0; }
    Control& At(int32_t id);
    bool Visible(int32_t id) { return Has(id) && At(id).visible; }
    int32_t Count(const std::string& operationPrefix) const;

    // --- the recorded state
    std::map<int32_t, Control> controls;
    Rect client{};
    std::string caption;
    RvHandle data = nullptr;
    int32_t timerPeriod = 0;  // 0: stopped
    int32_t endCode = 0;      // 0 while open
    int32_t focused = 0;
    int32_t beeps = 0;
    int32_t prepared = 0;
    std::vector<std::string> log;  // every operation, in order
    std::vector<MessageBoxShown> boxes;
    std::vector<FileRequestSeen> fileRequests;
    std::vector<Drawing> drawings;
    std::vector<Outline> outlines;
    std::vector<Outline> fills;
    std::vector<uint32_t> brushColors;  // created brushes, by index
    int32_t brushesDeleted = 0;
    SettingsDialogMemory memory{};

    // --- what the test arranges
    std::vector<int32_t> failingSliders;              // ids that cannot be made
    std::deque<std::string> fileAnswers;              // "" cancels the file dialog
    std::function<void()> duringFileDialog;           // runs while a file dialog is open
    std::function<bool()> inputWaiting;               // asked after each rendered row
    std::string pluginPath = "/plugins/FL-Fabx.rvp";  // "" when it cannot be had
};

// The text of the error message `id` as the string table holds it.
std::string Message(int32_t id);

}  // namespace ui_test
