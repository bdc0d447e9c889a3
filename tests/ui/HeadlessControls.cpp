#include "HeadlessControls.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "RESOURCE.h"
#include "PlatformServices.h"
#include "Resources.h"

namespace ui_test {

namespace {

// The dialog's font makes a dialog unit 6/4 pixels wide and 13/8 high.
Rect Pixels(int32_t x, int32_t y, int32_t width, int32_t height) {
    auto px = [](int32_t v) { return v * 6 / 4; };
    auto py = [](int32_t v) { return v * 13 / 8; };
    return Rect{px(x), py(y), px(x + width), py(y + height)};
}

struct TemplateItem {
    int32_t id;
    Kind kind;
    const char* text;
    int32_t x, y, width, height;
    bool visible;
};

const int32_t kFullSliderRows[kSliderCount] = {115, 127, 143, 155, 171, 183, 199, 211};
const int32_t kCompactSliderRows[kSliderCount] = {27, 39, 55, 67, 83, 95, 111, 123};

const TemplateItem kFullTemplate[] = {
    {146, Kind::Label, "&A:", 8, 22, 10, 8, true},
    {204, Kind::Field, "", 18, 21, 180, 48, true},
    {209, Kind::OwnerDrawn, "A", 1, 33, 16, 16, true},
    {143, Kind::Label, "&R:", 8, 75, 10, 8, true},
    {203, Kind::Field, "", 18, 73, 180, 48, true},
    {208, Kind::OwnerDrawn, "R", 1, 86, 16, 16, true},
    {144, Kind::Label, "&G:", 8, 126, 10, 8, true},
    {202, Kind::Field, "", 18, 125, 180, 48, true},
    {207, Kind::OwnerDrawn, "G", 1, 137, 16, 16, true},
    {145, Kind::Label, "&B:", 8, 178, 10, 8, true},
    {201, Kind::Field, "", 18, 177, 180, 48, true},
    {206, Kind::OwnerDrawn, "B", 1, 189, 16, 16, true},
    {301, Kind::Button, "&Load...", 35, 232, 40, 14, true},
    {302, Kind::Button, "&Save...", 86, 232, 40, 14, true},
    {303, Kind::Button, "Buil&d...", 134, 232, 40, 14, true},
    {2, Kind::Button, "Cancel", 294, 232, 40, 14, true},
    {107, Kind::Frame, "", 204, 8, 1, 236, true},
    {106, Kind::Frame, "", 253, 12, 68, 56, false},
    {409, Kind::Placeholder, "", 253, 68, 69, 10, true},
    {252, Kind::Check, "Animate &Preview", 253, 85, 79, 10, true},
    {1, Kind::Button, "O&K", 244, 232, 40, 14, true},
    {251, Kind::Check, "Single &Expression", 65, 7, 97, 10, true},
};

const TemplateItem kCompactTemplate[] = {
    {2, Kind::Button, "Cancel", 203, 116, 40, 14, true},           {106, Kind::Frame, "", 159, 26, 69, 56, false},
    {409, Kind::Placeholder, "", 159, 83, 69, 10, true},           {1, Kind::Button, "O&K", 153, 116, 40, 14, true},
    {252, Kind::Check, "Animate &Preview", 161, 98, 71, 10, true}, {147, Kind::Label, "", 4, 4, 140, 21, true},
};

thread_local HeadlessDialog* gCurrent = nullptr;

HeadlessDialog& Of(RvWindow window) { return *reinterpret_cast<HeadlessDialog*>(window); }
HeadlessDialog& Current() { return *gCurrent; }

std::string RectText(const Rect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d,%d,%d)", r.left, r.top, r.right, r.bottom);
    return text;
}

void Record(HeadlessDialog& d, const std::string& operation) { d.log.push_back(operation); }

Control* Find(HeadlessDialog& d, int32_t id) {
    auto it = d.controls.find(id);
    return it == d.controls.end() ? nullptr : &it->second;
}

// Brushes are small numbers: the two stock ones, then created ones by index.
constexpr intptr_t kBlack = 1, kWhite = 2, kFirstCreated = 16;

std::string BrushName(HeadlessDialog& d, RvBrush brush) {
    const intptr_t value = reinterpret_cast<intptr_t>(brush);
    if (value == kBlack) return "black";
    if (value == kWhite) return "white";
    char text[32];
    std::snprintf(text, sizeof text, "solid %06X", d.brushColors.at(static_cast<size_t>(value - kFirstCreated)));
    return text;
}

void SplitList(const char* list, std::vector<std::string>* out) {
    for (const char* p = list; *p != 0; p += std::strlen(p) + 1) out->push_back(p);
}

bool FileDialog(RvWindow window, const FileDialogRequest* request, char* path, int32_t capacity, bool save) {
    HeadlessDialog& d = Of(window);
    FileRequestSeen seen{save,
                         {},
                         request->fileTypes != nullptr,
                         request->initialFolder ? request->initialFolder : "",
                         request->defaultExtension ? request->defaultExtension : ""};
    if (request->fileTypes) SplitList(request->fileTypes, &seen.fileTypes);
    d.fileRequests.push_back(seen);
    Record(d, save ? "saveFileDialog" : "openFileDialog");
    if (path[0] != 0) Record(d, "file dialog given a path that is not empty");
    if (d.duringFileDialog) d.duringFileDialog();
    if (d.fileAnswers.empty()) return false;
    const std::string answer = d.fileAnswers.front();
    d.fileAnswers.pop_front();
    if (answer.empty()) return false;
    std::snprintf(path, static_cast<size_t>(capacity), "%s", answer.c_str());
    return true;
}

const ControlsPort kPort = {
    // the dialog window
    [](RvWindow w, RvHandle data) {
        Of(w).data = data;
        Record(Of(w), "setDialogData");
    },
    [](RvWindow w) { return Of(w).data; },
    [](RvWindow w) {
        Of(w).prepared++;
        Record(Of(w), "prepareDialog");
    },
    [](RvWindow w, const char* text) {
        Of(w).caption = text;
        Record(Of(w), "setCaption " + std::string(text));
    },
    [](RvWindow w, int32_t code) {
        Of(w).endCode = code;
        Record(Of(w), "endDialog " + std::to_string(code));
    },
    [](RvWindow w, Rect* rect) { *rect = Of(w).client; },
    [](RvWindow w, int32_t period) {
        Of(w).timerPeriod = period;
        Record(Of(w), "startTimer " + std::to_string(period));
    },
    [](RvWindow w) {
        Of(w).timerPeriod = 0;
        Record(Of(w), "stopTimer");
    },
    // controls
    [](RvWindow w, int32_t id) { return Of(w).Has(id); },
    [](RvWindow w, int32_t id, const char* text) {
        Record(Of(w), "setText " + std::to_string(id) + " " + text);
        if (Control* c = Find(Of(w), id)) c->text = text;
    },
    [](RvWindow w, int32_t id, char* buffer, int32_t capacity) {
        Record(Of(w), "getText " + std::to_string(id));
        Control* c = Find(Of(w), id);
        if (c == nullptr) return false;
        std::snprintf(buffer, static_cast<size_t>(capacity), "%s", c->text.c_str());
        return true;
    },
    [](RvWindow w, int32_t id, bool visible) {
        Record(Of(w), (visible ? "show " : "hide ") + std::to_string(id));
        if (Control* c = Find(Of(w), id)) c->visible = visible;
    },
    [](RvWindow w, int32_t id, bool checked) {
        Record(Of(w), "setCheck " + std::to_string(id) + " " + std::to_string(checked));
        if (Control* c = Find(Of(w), id)) c->checked = checked;
    },
    [](RvWindow w, int32_t id) {
        Control* c = Find(Of(w), id);
        return c != nullptr && c->checked;
    },
    [](RvWindow w, int32_t id, int32_t start, int32_t end) {
        Record(Of(w), "select " + std::to_string(id) + " " + std::to_string(start) + " " + std::to_string(end));
        if (Control* c = Find(Of(w), id)) {
            c->selectionStart = start;
            c->selectionEnd = end;
        }
    },
    [](RvWindow w, int32_t id, int32_t characters) {
        Record(Of(w), "limit " + std::to_string(id) + " " + std::to_string(characters));
        if (Control* c = Find(Of(w), id)) c->limit = characters;
    },
    [](RvWindow w, int32_t id) {
        Record(Of(w), "focus " + std::to_string(id));
        if (Find(Of(w), id)) Of(w).focused = id;
    },
    [](RvWindow w, int32_t id) { Record(Of(w), "repaintNow " + std::to_string(id)); },
    [](RvWindow w, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
        HeadlessDialog& d = Of(w);
        Record(d, "send " + std::to_string(id) + " " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                      std::to_string(lParam));
        Control* c = Find(d, id);
        if (c == nullptr || c->kind != Kind::Slider) return 0;
        switch (message) {
        case kSliderSetRange:
            c->rangeMin = static_cast<int32_t>(lParam & 0xFFFF);
            c->rangeMax = static_cast<int32_t>((static_cast<uintptr_t>(lParam) >> 16) & 0xFFFF);
            return 0;
        case kSliderGetPosition: return c->position;
        case kSliderSetPosition: c->position = static_cast<int32_t>(wParam); return 0;
        case kSliderSetPainter: c->painter = lParam; return 0;
        default: return 0;
        }
    },
    [](RvWindow w, int32_t id, Rect* rect) {
        Control* c = Find(Of(w), id);
        if (c == nullptr) return false;
        *rect = c->rect;
        return true;
    },
    [](RvWindow w, int32_t id, const Rect* rect) {
        Record(Of(w), "move " + std::to_string(id) + " " + RectText(*rect));
        if (Control* c = Find(Of(w), id)) c->rect = *rect;
    },
    [](RvWindow w, int32_t placeholder, int32_t id, uint32_t style) {
        HeadlessDialog& d = Of(w);
        Record(d, "replaceBySlider " + std::to_string(placeholder) + " " + std::to_string(id));
        Control* c = Find(d, placeholder);
        if (c == nullptr || c->kind != Kind::Placeholder) return false;
        const Rect rect = c->rect;
        d.controls.erase(placeholder);
        if (std::count(d.failingSliders.begin(), d.failingSliders.end(), id) != 0) return false;
        Control slider{Kind::Slider};
        slider.rect = rect;
        slider.style = style;
        d.controls[id] = slider;
        return true;
    },
    [](RvWindow w, int32_t id) {
        Record(Of(w), "destroy " + std::to_string(id));
        Of(w).controls.erase(id);
    },
    // the file dialogs
    [](RvWindow w, const FileDialogRequest* r, char* path, int32_t capacity) {
        return FileDialog(w, r, path, capacity, false);
    },
    [](RvWindow w, const FileDialogRequest* r, char* path, int32_t capacity) {
        return FileDialog(w, r, path, capacity, true);
    },
    // drawing: a device context is the dialog itself
    [](RvWindow w) {
        Record(Of(w), "beginDrawing");
        return reinterpret_cast<RvDeviceContext>(w);
    },
    [](RvWindow w, RvDeviceContext) { Record(Of(w), "endDrawing"); },
    [](PixelMap** map, RvDeviceContext dc, const Rect* source, const Rect* destination) {
        HeadlessDialog& d = *reinterpret_cast<HeadlessDialog*>(dc);
        const PixelMap& m = **map;
        const uint8_t* bytes = m.baseAddress;
        const size_t size = static_cast<size_t>(m.rowBytes) * static_cast<size_t>(m.bounds.bottom - m.bounds.top);
        d.drawings.push_back({*source, *destination, std::vector<uint8_t>(bytes, bytes + size)});
        Record(d, "drawPixelMap " + RectText(*source) + " " + RectText(*destination));
    },
    [](RvDeviceContext dc, const Rect* rect, RvBrush brush) {
        HeadlessDialog& d = *reinterpret_cast<HeadlessDialog*>(dc);
        d.outlines.push_back({*rect, BrushName(d, brush)});
        Record(d, "frameRect " + RectText(*rect) + " " + BrushName(d, brush));
    },
    [](RvDeviceContext dc, const Rect* rect, RvBrush brush) {
        HeadlessDialog& d = *reinterpret_cast<HeadlessDialog*>(dc);
        d.fills.push_back({*rect, BrushName(d, brush)});
        Record(d, "fillRect " + RectText(*rect) + " " + BrushName(d, brush));
    },
    [](StockBrush which) { return reinterpret_cast<RvBrush>(which == kBlackBrush ? kBlack : kWhite); },
    [](uint32_t color) {
        Current().brushColors.push_back(color);
        return reinterpret_cast<RvBrush>(kFirstCreated + static_cast<intptr_t>(Current().brushColors.size()) - 1);
    },
    [](RvBrush) { Current().brushesDeleted++; },
    []() -> uint32_t { return 0xC0C0C0; },
    [](int32_t index) -> uint32_t { return 0x00FF8000u + static_cast<uint32_t>(index); },
    []() -> int32_t {
        Record(Current(), "thumbDrawQuery");
        return 0;
    },
    [](RvWindow window, Rect* rect) {
        const Rect r = Find(Current(), static_cast<int32_t>(reinterpret_cast<intptr_t>(window)))
                           ? Current().At(static_cast<int32_t>(reinterpret_cast<intptr_t>(window))).rect
                           : Rect{};
        *rect = Rect{0, 0, r.right - r.left, r.bottom - r.top};
    },
    [](RvDeviceContext dc, int32_t x, int32_t y) {
        Record(*reinterpret_cast<HeadlessDialog*>(dc), "drawIcon " + std::to_string(x) + " " + std::to_string(y));
    },
    // painters: two distinct routines the tests tell apart by address
    [](RvWindow, RvDeviceContext) { Record(Current(), "host thumb"); },
    [](RvWindow, RvDeviceContext) { Record(Current(), "own thumb"); },
};

// The platform's services, with the user and the plug-in's own file those
// of the current dialog.
Services MakeServices() {
    Services services = PlatformServices();
    services.errorBox = [](const char* caption, const char* text) {
        Current().boxes.push_back({true, caption, text});
        Record(Current(), std::string("errorBox ") + text);
    };
    services.informationBox = [](const char* caption, const char* text) {
        Current().boxes.push_back({false, caption, text});
        Record(Current(), std::string("informationBox ") + text);
    };
    services.beep = []() {
        Current().beeps++;
        Record(Current(), "beep");
    };
    services.inputWaiting = []() { return Current().inputWaiting ? Current().inputWaiting() : false; };
    services.ownFilePath = [](char* path, int32_t capacity) {
        const std::string& p = Current().pluginPath;
        if (p.empty() || p.size() + 1 > static_cast<size_t>(capacity)) return -1;
        std::snprintf(path, static_cast<size_t>(capacity), "%s", p.c_str());
        return static_cast<int32_t>(p.size());
    };
    return services;
}

}  // namespace

HeadlessDialog::HeadlessDialog(bool compact) {
    gCurrent = this;
    auto add = [this](const TemplateItem& item) {
        Control c{item.kind, item.text, item.visible};
        c.rect = Pixels(item.x, item.y, item.width, item.height);
        controls[item.id] = c;
    };
    if (compact) {
        client = Pixels(0, 0, 247, 139);
        for (const TemplateItem& item : kCompactTemplate) add(item);
    } else {
        client = Pixels(0, 0, 358, 252);
        for (const TemplateItem& item : kFullTemplate) add(item);
    }
    const int32_t* rows = compact ? kCompactSliderRows : kFullSliderRows;
    const int32_t nameX = compact ? 4 : 209, sliderX = compact ? 40 : 245, numberX = compact ? 135 : 341;
    char name[16];
    for (int32_t k = 0; k < kSliderCount; ++k) {
        std::snprintf(name, sizeof name, "Slider %d:", k);
        add({IDC_SLIDER_NAME_0 + k, Kind::Label, name, nameX, rows[k], 31, 8, compact});
        add({IDC_SLIDER_PLACEHOLDER_0 + k, Kind::Placeholder, "", sliderX, rows[k] - 1, 90, 10, true});
        add({IDC_SLIDER_VALUE_0 + k, Kind::Label, "000", numberX, rows[k], 16, 8, true});
    }
    const int32_t mapRows[2][kMapCount] = {{121, 149, 177, 205}, {33, 61, 89, 117}};
    for (int32_t i = 0; i < kMapCount; ++i) {
        std::snprintf(name, sizeof name, "Map %d", i);
        add({IDC_MAP_NAME_0 + i, Kind::Label, name, compact ? 8 : 213, mapRows[compact][i], 31, 8, !compact});
    }
}

HeadlessDialog::HeadlessDialog(BuildTemplate) {
    gCurrent = this;
    client = Pixels(0, 0, 245, 193);
    auto add = [this](int32_t id, Kind kind, const std::string& text, int32_t x, int32_t y, int32_t width,
                      int32_t height) {
        Control c{kind, text};
        c.rect = Pixels(x, y, width, height);
        controls[id] = c;
    };
    add(IDC_MODULE_NAME, Kind::Field, "", 78, 9, 150, 12);
    add(IDC_TITLE, Kind::Field, "", 78, 23, 150, 12);
    add(IDC_AUTHOR_TEXT, Kind::Field, "", 78, 36, 150, 23);
    for (int32_t i = 0; i < kMapCount; ++i) {
        add(IDC_MAP_ENABLED_0 + i, Kind::Check, "Map " + std::to_string(i) + ":", 127, 69 + 26 * i, 34, 10);
        add(IDC_MAP_NAME_TEXT_0 + i, Kind::Field, "", 166, 68 + 26 * i, 66, 12);
    }
    for (int32_t j = 0; j < kSliderCount; ++j) {
        add(IDC_SLIDER_ENABLED_0 + j, Kind::Check, "Slider " + std::to_string(j) + ":", 6, 63 + 13 * j, 42, 10);
        add(IDC_SLIDER_NAME_TEXT_0 + j, Kind::Field, "", 50, 62 + 13 * j, 66, 12);
    }
    add(IDC_OK, Kind::Button, "O&K", 149, 175, 40, 14);
    add(IDC_CANCEL, Kind::Button, "Cancel", 199, 175, 40, 14);
}

HeadlessDialog::~HeadlessDialog() {
    if (gCurrent == this) gCurrent = nullptr;
}

const ControlsPort& HeadlessDialog::Port() { return kPort; }

const Services& HeadlessServices() {
    static const Services services = MakeServices();
    return services;
}

Control& HeadlessDialog::At(int32_t id) { return controls.at(id); }

int32_t HeadlessDialog::Count(const std::string& prefix) const {
    return static_cast<int32_t>(std::count_if(log.begin(), log.end(), [&](const std::string& entry) {
        return entry.compare(0, prefix.size(), prefix) == 0;
    }));
}

void HeadlessDialog::Type(int32_t field, const std::string& text) {
    At(field).text = text;
    Command(field, kFieldChanged);
}

void HeadlessDialog::Click(int32_t checkBox) {
    At(checkBox).checked = !At(checkBox).checked;
    Command(checkBox);
}

void HeadlessDialog::MoveSlider(int32_t id, int32_t position) {
    At(id).position = position;
    Command(id);
}

std::string Message(int32_t id) {
    char text[256];
    LoadResourceString(id, text, sizeof text);
    return text;
}

}  // namespace ui_test
