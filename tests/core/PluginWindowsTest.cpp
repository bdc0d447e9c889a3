// What the Windows road adds to the plug-in, on the loaded image itself:
// every resource read back through the platform's resource functions, the
// dialog templates as the dialog manager builds them, and the render loop's
// look into the thread's message queue.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "EmbeddedResources.h"
#include "PluginTestHost.h"
#include "RESOURCE.h"

namespace {

LPCSTR KeyName(const char* text, int32_t number) { return text ? text : MAKEINTRESOURCEA(static_cast<WORD>(number)); }

std::string Describe(const char* text, int32_t number) { return text ? text : std::to_string(number); }

// The bytes of a resource of the image, or nothing.
std::vector<uint8_t> ImageResource(LPCSTR type, LPCSTR name) {
    HMODULE image = PluginModule();
    HRSRC found = FindResourceA(image, name, type);
    if (found == nullptr) return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(image, found)));
    if (bytes == nullptr) return {};
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(image, found));
}

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int b = 0; b < width; ++b) value |= uint32_t{bytes.at(at + b)} << (8 * b);
    return value;
}

// ---------------------------------------------------------------------------
// Resources

TEST(ImageResources, EveryGeneratedResourceReadsBackByteForByte) {
    ASSERT_NE(PluginModule(), nullptr);
    for (int32_t i = 0; i < kEmbeddedResourceCount; ++i) {
        const EmbeddedResource& r = kEmbeddedResources[i];
        const std::vector<uint8_t> bytes =
            ImageResource(KeyName(r.typeName, r.typeNumber), KeyName(r.nameText, r.nameNumber));
        const std::vector<uint8_t> expected(r.bytes, r.bytes + r.size);
        EXPECT_EQ(bytes, expected) << Describe(r.typeName, r.typeNumber) << " " << Describe(r.nameText, r.nameNumber);
    }
}

TEST(ImageResources, EveryStringReadsBackAndNoOtherIsThere) {
    std::set<int32_t> ids;
    for (int32_t i = 0; i < kEmbeddedStringCount; ++i) {
        const EmbeddedString& s = kEmbeddedStrings[i];
        ids.insert(s.id);
        char buffer[512];
        EXPECT_EQ(LoadStringA(PluginModule(), static_cast<UINT>(s.id), buffer, sizeof buffer),
                  static_cast<int>(std::strlen(s.text)))
            << s.id;
        EXPECT_STREQ(buffer, s.text) << s.id;
    }
    // The block of ids 1024 to 1039 holds these and nothing else.
    for (UINT id = 1024; id < 1040; ++id) {
        if (ids.count(static_cast<int32_t>(id))) continue;
        char buffer[8];
        EXPECT_EQ(LoadStringA(PluginModule(), id, buffer, sizeof buffer), 0) << id;
    }
    EXPECT_EQ(ids.count(1028), 0u);
}

TEST(ImageResources, DialogIncludeIsAZeroTerminatedPathOf51Bytes) {
    const std::vector<uint8_t> bytes = ImageResource(RT_RCDATA, "DLGINCLUDE");
    ASSERT_EQ(bytes.size(), 51u);
    EXPECT_EQ(bytes.back(), 0);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(bytes.data())), 50u);
}

TEST(ImageResources, IconGroup105ListsOne32By32FourBitImage) {
    const std::vector<uint8_t> group = ImageResource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_FABLIX));
    ASSERT_EQ(group.size(), 20u);
    EXPECT_EQ(Le(group, 0, 2), 0u);   // reserved
    EXPECT_EQ(Le(group, 2, 2), 1u);   // icons
    EXPECT_EQ(Le(group, 4, 2), 1u);   // one image
    EXPECT_EQ(group[6], 32);          // width
    EXPECT_EQ(group[7], 32);          // height
    EXPECT_EQ(group[8], 16);          // colours
    EXPECT_EQ(Le(group, 10, 2), 1u);  // planes
    EXPECT_EQ(Le(group, 12, 2), 4u);  // bits per pixel
    EXPECT_EQ(Le(group, 14, 4), 744u);
    EXPECT_EQ(Le(group, 18, 2), 1u);  // icon id

    const std::vector<uint8_t> image = ImageResource(RT_ICON, MAKEINTRESOURCEA(1));
    ASSERT_EQ(image.size(), 744u);
    EXPECT_EQ(Le(image, 0, 4), 40u);  // bitmap header
    EXPECT_EQ(Le(image, 4, 4), 32u);  // width
    EXPECT_EQ(Le(image, 8, 4), 64u);  // colours and mask
    EXPECT_EQ(Le(image, 14, 2), 4u);  // bits per pixel
    // A picture, not a blank: more than two colours are used.
    std::set<int> colours;
    for (size_t at = 40 + 64; at < 40 + 64 + 512; ++at) {
        colours.insert(image[at] >> 4);
        colours.insert(image[at] & 15);
    }
    EXPECT_GT(colours.size(), 2u);
    EXPECT_NE(LoadIconA(PluginModule(), MAKEINTRESOURCEA(IDI_FABLIX)), nullptr);
}

TEST(ImageResources, VersionRecordIsADynamicLibraryWithSevenStrings) {
    const std::vector<uint8_t> version = ImageResource(RT_VERSION, MAKEINTRESOURCEA(IDV_VERSION));
    ASSERT_GT(version.size(), 92u);
    // VS_FIXEDFILEINFO follows the 32-byte header of "VS_VERSION_INFO".
    const VS_FIXEDFILEINFO* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(version.data() + 40);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 2u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    // The string block 040904E4 holds the seven standard keys, and the
    // translation names it. The texts are UTF-16 in the record.
    auto contains = [&](const std::string& text) {
        std::vector<uint8_t> wide;
        for (char c : text) {
            wide.push_back(static_cast<uint8_t>(c));
            wide.push_back(0);
        }
        return std::search(version.begin(), version.end(), wide.begin(), wide.end()) != version.end();
    };
    for (const char* key : {"040904E4", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                            "LegalCopyright", "ProductName", "ProductVersion", "Translation"})
        EXPECT_TRUE(contains(key)) << key;
    const uint8_t translation[] = {0x09, 0x04, 0xE4, 0x04};
    EXPECT_EQ(std::memcmp(version.data() + version.size() - 4, translation, 4), 0);
}

// Every resource of the image, by type and name, with its languages.
struct Listed {
    std::string type;
    std::string name;
    std::vector<WORD> languages;
};

std::string KeyText(LPCSTR key) {
    return IS_INTRESOURCE(key) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(key)) : std::string(key);
}

BOOL CALLBACK ListLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<Listed>*>(list)->back().languages.push_back(language);
    return TRUE;
}
BOOL CALLBACK ListName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR list) {
    reinterpret_cast<std::vector<Listed>*>(list)->push_back({KeyText(type), KeyText(name), {}});
    EnumResourceLanguagesA(module, type, name, ListLanguage, list);
    return TRUE;
}
BOOL CALLBACK ListType(HMODULE module, LPSTR type, LONG_PTR list) {
    EnumResourceNamesA(module, type, ListName, list);
    return TRUE;
}

TEST(ImageResources, EveryResourceIsThereOnceInLanguage1033AndNothingElse) {
    std::vector<Listed> listed;
    ASSERT_TRUE(EnumResourceTypesA(PluginModule(), ListType, reinterpret_cast<LONG_PTR>(&listed)));
    std::multiset<std::string> found;
    for (const Listed& r : listed) {
        found.insert(r.type + " " + r.name);
        EXPECT_EQ(r.languages, std::vector<WORD>{1033}) << r.type << " " << r.name;
    }
    const std::multiset<std::string> expected = {
        "FLTD #1",    "FLVS #1000", "PARM #16000",    "TEXT #1000", "TYPE #1000", "#10 COSINE",
        "#10 ARCTAN", "#10 VECTOR", "#10 DLGINCLUDE", "#5 #101",    "#5 #102",    "#5 #104",
        "#6 #65",  // the string block of ids 1024 to 1039
        "#14 #105",   "#3 #1",      "#16 #1",
    };
    EXPECT_EQ(found, expected);
}

// ---------------------------------------------------------------------------
// Dialog templates, as the dialog manager builds them from the image

enum class Kind {
    RightLabel,  // static, right-aligned
    Label,       // static, left-aligned
    NoPrefixLabel,
    Formula,      // "gedit", multi-line, Enter kept
    NameField,    // "gedit", single line, scrolls horizontally
    AuthorField,  // "gedit", multi-line, Enter not kept
    LabelField,   // "gedit", single line
    ErrorButton,  // owner-drawn push button
    Push,
    DefaultPush,
    Check,
    BlackRect,
    BlackFrame,
    Placeholder,  // horizontal scroll bar
};

struct Expected {
    int id;
    Kind kind;
    std::string text;
    int x, y, width, height;
    bool visible;
};

struct KindStyle {
    const char* className;
    DWORD style;  // the bits that must be set
    DWORD mask;   // the bits compared
};

KindStyle StyleOf(Kind kind) {
    const DWORD kStaticType = SS_TYPEMASK;
    const DWORD kEditBits = ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_BORDER | WS_TABSTOP;
    const DWORD kButtonType = BS_TYPEMASK | WS_TABSTOP;
    switch (kind) {
    case Kind::RightLabel: return {"Static", SS_RIGHT, kStaticType | SS_NOPREFIX};
    case Kind::Label: return {"Static", SS_LEFT, kStaticType | SS_NOPREFIX};
    case Kind::NoPrefixLabel: return {"Static", SS_LEFT | SS_NOPREFIX, kStaticType | SS_NOPREFIX};
    case Kind::Formula:
        return {"gedit", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_BORDER | WS_TABSTOP, kEditBits};
    case Kind::NameField: return {"gedit", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kEditBits};
    case Kind::AuthorField: return {"gedit", ES_MULTILINE | ES_AUTOVSCROLL | WS_BORDER | WS_TABSTOP, kEditBits};
    case Kind::LabelField: return {"gedit", WS_BORDER | WS_TABSTOP, kEditBits};
    case Kind::ErrorButton: return {"Button", BS_OWNERDRAW | WS_TABSTOP, kButtonType};
    case Kind::Push: return {"Button", BS_PUSHBUTTON | WS_TABSTOP, kButtonType};
    case Kind::DefaultPush: return {"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, kButtonType};
    case Kind::Check: return {"Button", BS_AUTOCHECKBOX | WS_TABSTOP, kButtonType};
    case Kind::BlackRect: return {"Static", SS_BLACKRECT, kStaticType | WS_DISABLED};
    case Kind::BlackFrame: return {"Static", SS_BLACKFRAME | WS_DISABLED, kStaticType | WS_DISABLED};
    case Kind::Placeholder: return {"ScrollBar", SBS_HORZ, SBS_VERT};
    }
    return {"", 0, 0};
}

std::vector<Expected> SettingsTable() {
    std::vector<Expected> t = {
        {146, Kind::RightLabel, "&A:", 8, 22, 10, 8, true},
        {204, Kind::Formula, "", 18, 21, 180, 48, true},
        {209, Kind::ErrorButton, "A", 1, 33, 16, 16, true},
        {143, Kind::RightLabel, "&R:", 8, 75, 10, 8, true},
        {203, Kind::Formula, "", 18, 73, 180, 48, true},
        {208, Kind::ErrorButton, "R", 1, 86, 16, 16, true},
        {144, Kind::RightLabel, "&G:", 8, 126, 10, 8, true},
        {202, Kind::Formula, "", 18, 125, 180, 48, true},
        {207, Kind::ErrorButton, "G", 1, 137, 16, 16, true},
        {145, Kind::RightLabel, "&B:", 8, 178, 10, 8, true},
        {201, Kind::Formula, "", 18, 177, 180, 48, true},
        {206, Kind::ErrorButton, "B", 1, 189, 16, 16, true},
        {301, Kind::Push, "&Load...", 35, 232, 40, 14, true},
        {302, Kind::Push, "&Save...", 86, 232, 40, 14, true},
        {303, Kind::Push, "Buil&d...", 134, 232, 40, 14, true},
        {2, Kind::Push, "Cancel", 294, 232, 40, 14, true},
        {107, Kind::BlackRect, "", 204, 8, 1, 236, true},
        {106, Kind::BlackFrame, "", 253, 12, 68, 56, false},
        {409, Kind::Placeholder, "", 253, 68, 69, 10, true},
        {252, Kind::Check, "Animate &Preview", 253, 85, 79, 10, true},
    };
    const int rows[8] = {115, 127, 143, 155, 171, 183, 199, 211};
    for (int k = 0; k < 8; ++k)
        t.push_back({131 + k, Kind::Label, "Slider " + std::to_string(k) + ":", 209, rows[k], 31, 8, false});
    for (int k = 0; k < 8; ++k) t.push_back({1401 + k, Kind::Placeholder, "", 245, rows[k] - 1, 90, 10, true});
    for (int k = 0; k < 8; ++k) t.push_back({123 + k, Kind::Label, "000", 341, rows[k], 16, 8, true});
    t.push_back({1, Kind::DefaultPush, "O&K", 244, 232, 40, 14, true});
    const int maps[4] = {121, 149, 177, 205};
    for (int i = 0; i < 4; ++i)
        t.push_back({139 + i, Kind::Label, "Map " + std::to_string(i), 213, maps[i], 31, 8, true});
    t.push_back({251, Kind::Check, "Single &Expression", 65, 7, 97, 10, true});
    return t;
}

std::vector<Expected> CompactTable() {
    std::vector<Expected> t = {
        {2, Kind::Push, "Cancel", 203, 116, 40, 14, true},
        {106, Kind::BlackFrame, "", 159, 26, 69, 56, false},
        {409, Kind::Placeholder, "", 159, 83, 69, 10, true},
    };
    const int rows[8] = {27, 39, 55, 67, 83, 95, 111, 123};
    for (int k = 0; k < 8; ++k)
        t.push_back({131 + k, Kind::Label, "Slider " + std::to_string(k) + ":", 4, rows[k], 31, 8, true});
    for (int k = 0; k < 8; ++k) t.push_back({1401 + k, Kind::Placeholder, "", 40, rows[k] - 1, 90, 10, true});
    for (int k = 0; k < 8; ++k) t.push_back({123 + k, Kind::Label, "000", 135, rows[k], 16, 8, true});
    t.push_back({1, Kind::DefaultPush, "O&K", 153, 116, 40, 14, true});
    const int maps[4] = {33, 61, 89, 117};
    for (int i = 0; i < 4; ++i)
        t.push_back({139 + i, Kind::Label, "Map " + std::to_string(i), 8, maps[i], 31, 8, false});
    t.push_back({252, Kind::Check, "Animate &Preview", 161, 98, 71, 10, true});
    t.push_back({147, Kind::NoPrefixLabel, "", 4, 4, 140, 21, true});
    return t;
}

std::vector<Expected> BuildTable() {
    const int kNoId = 0xFFFF;
    std::vector<Expected> t = {
        {kNoId, Kind::RightLabel, "DLL Module Name (8 chars):", 16, 4, 60, 16, true},
        {kNoId, Kind::RightLabel, "Title:", 7, 25, 69, 8, true},
        {kNoId, Kind::RightLabel, "Author:", 6, 38, 70, 8, true},
        {501, Kind::NameField, "", 78, 9, 150, 12, true},
        {502, Kind::NameField, "", 78, 23, 150, 12, true},
        {503, Kind::AuthorField, "", 78, 36, 150, 23, true},
    };
    for (int i = 0; i < 4; ++i)
        t.push_back({510 + i, Kind::Check, "Map " + std::to_string(i) + ":", 127, 69 + 26 * i, 34, 10, true});
    for (int j = 0; j < 8; ++j)
        t.push_back({520 + j, Kind::Check, "Slider " + std::to_string(j) + ":", 6, 63 + 13 * j, 42, 10, true});
    for (int i = 0; i < 4; ++i) t.push_back({530 + i, Kind::LabelField, "", 166, 68 + 26 * i, 66, 12, true});
    for (int j = 0; j < 8; ++j) t.push_back({540 + j, Kind::LabelField, "", 50, 62 + 13 * j, 66, 12, true});
    t.push_back({1, Kind::Push, "O&K", 149, 175, 40, 14, true});
    t.push_back({2, Kind::Push, "Cancel", 199, 175, 40, 14, true});
    return t;
}

// A dialog template as stored: the dialog's frame, then its controls.
struct StoredControl {
    DWORD style;
    int x, y, width, height;
    int id;
    std::string className;
    std::string text;
};
struct StoredDialog {
    DWORD style;
    int x, y, width, height;
    std::string caption;
    int pointSize;
    std::vector<StoredControl> controls;
};

// Reads the classic template format: fixed fields, then texts that are
// either 0xFFFF and a number or zero-terminated UTF-16 (ASCII here).
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint16_t Word() {
        const uint16_t value = static_cast<uint16_t>(Le(bytes_, at_, 2));
        at_ += 2;
        return value;
    }
    uint32_t Dword() { return Word() | uint32_t{Word()} << 16; }
    int Short() { return static_cast<int16_t>(Word()); }
    // A text, or a number written as "#n".
    std::string Text() {
        std::string text;
        uint16_t c = Word();
        if (c == 0xFFFF) return "#" + std::to_string(Word());
        for (; c != 0; c = Word()) text.push_back(static_cast<char>(c));
        return text;
    }
    void AlignTo4() { at_ = (at_ + 3) & ~size_t{3}; }
    void Skip(size_t count) { at_ += count; }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

std::string ClassName(const std::string& stored) {
    if (stored == "#128") return "Button";
    if (stored == "#129") return "Edit";
    if (stored == "#130") return "Static";
    if (stored == "#132") return "ScrollBar";
    return stored;
}

StoredDialog ReadTemplate(int id) {
    const std::vector<uint8_t> bytes = ImageResource(RT_DIALOG, MAKEINTRESOURCEA(id));
    StoredDialog d{};
    if (bytes.size() < 18) return d;
    TemplateReader r(bytes);
    d.style = r.Dword();
    r.Dword();  // extended style
    const int count = r.Word();
    d.x = r.Short();
    d.y = r.Short();
    d.width = r.Short();
    d.height = r.Short();
    r.Text();  // menu
    r.Text();  // class
    d.caption = r.Text();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.Word();
        r.Text();  // face
    }
    for (int i = 0; i < count; ++i) {
        r.AlignTo4();
        StoredControl c{};
        c.style = r.Dword();
        r.Dword();  // extended style
        c.x = r.Short();
        c.y = r.Short();
        c.width = r.Short();
        c.height = r.Short();
        c.id = r.Word();
        c.className = ClassName(r.Text());
        c.text = r.Text();
        r.Skip(r.Word());  // creation data
        d.controls.push_back(c);
    }
    return d;
}

INT_PTR CALLBACK QuietProcedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct TemplateCase {
    int id;
    const char* caption;
    int width, height;
    std::vector<Expected> controls;
};

// Checks template `c.id` of the image as stored: a modal frame with caption
// and system menu at (5, 15), its size, an 8-point font, and every control
// in (tab) order: id, class, text, position and size in dialog units,
// style and visibility. Then the dialog manager builds it: every control is
// made, of its class, in that order.
void ExpectTemplate(const TemplateCase& c) {
    const StoredDialog d = ReadTemplate(c.id);
    const DWORD kFrame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(d.style & kFrame, kFrame) << c.id;
    EXPECT_EQ(d.caption, c.caption);
    EXPECT_EQ(d.pointSize, 8) << c.id;
    EXPECT_EQ(d.x, 5);
    EXPECT_EQ(d.y, 15);
    EXPECT_EQ(d.width, c.width) << c.id;
    EXPECT_EQ(d.height, c.height) << c.id;
    ASSERT_EQ(d.controls.size(), c.controls.size()) << c.id;
    for (size_t i = 0; i < c.controls.size(); ++i) {
        const Expected& e = c.controls[i];
        const StoredControl& stored = d.controls[i];
        const std::string where = std::to_string(c.id) + "/" + std::to_string(e.id);
        const KindStyle kind = StyleOf(e.kind);
        EXPECT_EQ(stored.id, e.id) << where << " is out of order";
        EXPECT_EQ(lstrcmpiA(stored.className.c_str(), kind.className), 0) << where << " " << stored.className;
        EXPECT_EQ(stored.text, e.text) << where;
        EXPECT_EQ(stored.style & kind.mask, kind.style) << where;
        EXPECT_EQ((stored.style & WS_VISIBLE) != 0, e.visible) << where;
        EXPECT_EQ((stored.style & WS_CHILD) != 0, true) << where;
        EXPECT_EQ(stored.x, e.x) << where;
        EXPECT_EQ(stored.y, e.y) << where;
        EXPECT_EQ(stored.width, e.width) << where;
        EXPECT_EQ(stored.height, e.height) << where;
    }

    HWND dialog = CreateDialogParamA(PluginModule(), MAKEINTRESOURCEA(c.id), nullptr, QuietProcedure, 0);
    ASSERT_NE(dialog, nullptr) << c.id;
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const Expected& e : c.controls) {
        ASSERT_NE(control, nullptr) << c.id << ": control " << e.id << " was not made";
        EXPECT_EQ(GetDlgCtrlID(control) & 0xFFFF, e.id) << c.id;
        char className[64];
        GetClassNameA(control, className, sizeof className);
        EXPECT_EQ(lstrcmpiA(className, StyleOf(e.kind).className), 0) << c.id << "/" << e.id << " " << className;
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << c.id << ": more controls than the table lists";
    DestroyWindow(dialog);
}

TEST(ImageDialogs, EveryTemplateHoldsItsControlsAsTheTablesList) {
    ExpectTemplate({IDD_SETTINGS, "Fablix Settings", 358, 252, SettingsTable()});
    ExpectTemplate({IDD_COMPACT_SETTINGS, "Fablix Settings", 247, 139, CompactTable()});
    ExpectTemplate({IDD_BUILD, "Build Custom Filter", 245, 193, BuildTable()});
}

// ---------------------------------------------------------------------------
// The interruption test of the render loop

struct Interruption {
    UINT message;
    const char* name;
};

// A message waiting in the thread's queue before the render stops it after
// the first row, which is rendered as a whole render renders it; the other
// rows keep what they held. The message stays in the queue.
TEST(ExecuteInterruption, AKeyOrLeftButtonWaitingStopsTheRenderAfterOneRow) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
    const int32_t kWidth = 7, kHeight = 5;
    HostClip whole(kWidth, kHeight);
    ASSERT_EQ(CallPlugin(whole, kSelectorExecute), 0);

    const Interruption cases[] = {{WM_KEYDOWN, "key down"}, {WM_LBUTTONDOWN, "left button down"}};
    for (const Interruption& c : cases) {
        HostClip clip(kWidth, kHeight);
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), c.message, 0, 0)) << c.name;
        EXPECT_EQ(CallPlugin(clip, kSelectorExecute), 0) << c.name;
        EXPECT_EQ(std::memcmp(clip.destination.At(0, 0), whole.destination.At(0, 0), kWidth * 4), 0) << c.name;
        for (int32_t row = 1; row < kHeight; ++row)
            for (int32_t byte = 0; byte < kWidth * 4; ++byte)
                ASSERT_EQ(clip.destination.At(0, row)[byte], kUnwritten) << c.name << " row " << row;
        ASSERT_TRUE(PeekMessageA(&message, nullptr, c.message, c.message, PM_REMOVE)) << c.name << " was taken";

        EXPECT_EQ(CallPlugin(clip, kSelectorExecute), 0);
        EXPECT_EQ(clip.destination.pixels, whole.destination.pixels) << c.name;
    }
}

// Other input (a key released, a right click) does not stop a render.
TEST(ExecuteInterruption, OtherMessagesDoNotStopTheRender) {
    HostClip whole(7, 5);
    ASSERT_EQ(CallPlugin(whole, kSelectorExecute), 0);
    HostClip clip(7, 5);
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_KEYUP, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_RBUTTONDOWN, 0, 0));
    EXPECT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_EQ(clip.destination.pixels, whole.destination.pixels);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {}
}

// A frame large enough for bands renders on the processors the process may
// use byte for byte as on one. A key waiting in the host thread's queue
// stops that thread after its first row and the others after their run of
// rows (they never look into a queue): every row whole or untouched.
TEST(ExecuteInBands, RendersLikeOneProcessorAndStopsOnTheHostThreadsInput) {
    const int32_t kWidth = 640, kHeight = 360;
    HANDLE process = GetCurrentProcess();
    DWORD_PTR allowed = 0, system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(process, &allowed, &system));
    HostClip one(kWidth, kHeight);
    ASSERT_TRUE(SetProcessAffinityMask(process, allowed & (~allowed + 1)));
    ASSERT_EQ(CallPlugin(one, kSelectorExecute), 0);
    ASSERT_TRUE(SetProcessAffinityMask(process, allowed));
    HostClip many(kWidth, kHeight);
    ASSERT_EQ(CallPlugin(many, kSelectorExecute), 0);
    EXPECT_EQ(many.destination.pixels, one.destination.pixels);

    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    HostClip stopped(kWidth, kHeight);
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_KEYDOWN, 0, 0));
    EXPECT_EQ(CallPlugin(stopped, kSelectorExecute), 0);
    const std::vector<uint8_t> untouched(kWidth * 4, kUnwritten);
    int32_t whole = 0;
    for (int32_t row = 0; row < kHeight; ++row) {
        const uint8_t* at = stopped.destination.At(0, row);
        const bool same = std::memcmp(at, one.destination.At(0, row), kWidth * 4) == 0;
        whole += same ? 1 : 0;
        EXPECT_TRUE(same || std::memcmp(at, untouched.data(), kWidth * 4) == 0) << "row " << row;
    }
    EXPECT_GE(whole, 1);
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) << "the key was taken";
}

}  // namespace
