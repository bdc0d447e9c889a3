// Load and Save in the settings dialog: what the file dialogs are asked,
// what a good file, a bad file and a missing file do to the block and the
// controls, and the messages; the file-type list and the plug-in's folder.
#include "DialogTestSupport.h"
#include "PluginPath.h"
#include "SettingsFiles.h"
#include "SettingsSaveLoad.h"

#include <filesystem>
#include <fstream>

namespace ui_test {
namespace {

namespace fs = std::filesystem;

class LoadSave : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("fablix_ui_files_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string Path(const char* name) { return (folder / name).string(); }
    void WriteBytes(const char* name, const std::string& bytes) {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    fs::path folder;
};

FilterParams OtherSettings() {
    FilterParams other = EditorBlock();
    SetFormulas(other, "x", "y*2", "255-r", "a");
    for (int32_t k = 0; k < kSliderCount; ++k) other.sliderValue[k] = 10 * k;
    return other;
}

TEST_F(LoadSave, BothFileDialogsAreAskedForSettingsFilesInThePluginsFolder) {
    Session s(EditorBlock());
    s.Open();
    s.dialog.Command(IDC_LOAD);
    s.dialog.Command(IDC_SAVE);
    ASSERT_EQ(s.dialog.fileRequests.size(), 2u);
    for (const FileRequestSeen& r : s.dialog.fileRequests) {
        EXPECT_TRUE(r.hasFileTypes);
        EXPECT_EQ(r.fileTypes, (std::vector<std::string>{"Settings (*.fbl)", "*.fbl", "All Files (*.*)", "*.*"}));
        EXPECT_EQ(r.folder, "/plugins/");
        EXPECT_EQ(r.extension, "fbl");
    }
    EXPECT_FALSE(s.dialog.fileRequests[0].save);
    EXPECT_TRUE(s.dialog.fileRequests[1].save);
    EXPECT_EQ(s.dialog.Count("file dialog given a path that is not empty"), 0);
    // Cancelled both: no message, no compile.
    EXPECT_TRUE(s.dialog.boxes.empty());

    // Without the plug-in's path the dialogs get no folder.
    Session t(EditorBlock());
    t.dialog.pluginPath = "";
    t.Open();
    t.dialog.Command(IDC_LOAD);
    ASSERT_EQ(t.dialog.fileRequests.size(), 1u);
    EXPECT_EQ(t.dialog.fileRequests[0].folder, "");
}

TEST_F(LoadSave, AGoodFileFillsTheBlockAndTheControlsAndRepaints) {
    const FilterParams other = OtherSettings();
    ASSERT_EQ(SaveSettingsFile(Path("good.fbl").c_str(), &other), 0);
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.fileAnswers = {Path("good.fbl")};
    s.State()->previewDirty = 0;
    d.Command(IDC_LOAD);
    EXPECT_TRUE(d.boxes.empty());
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        EXPECT_STREQ(s.Params().formula[i], other.formula[i]) << i;
        EXPECT_EQ(s.Field(i).text, other.formula[i]) << i;
    }
    for (int32_t k = 0; k < kSliderCount; ++k) {
        EXPECT_EQ(int32_t{s.Params().sliderValue[k]}, 10 * k) << k;
        EXPECT_EQ(d.At(IDC_SLIDER_0 + k).position, 10 * k) << k;
        EXPECT_EQ(d.At(IDC_SLIDER_VALUE_0 + k).text, std::to_string(10 * k)) << k;
    }
    // Compiled and painted at once, not on the next tick.
    ASSERT_EQ(d.drawings.size(), 1u);
    EXPECT_EQ(d.drawings[0].pixels, s.ExpectedFrame(0));
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 0);
}

// A file that fails part way loads nothing: the block and the fields stay
// as the dialog showed them, and 1027 says so.
TEST_F(LoadSave, AFileThatCannotBeReadLeavesFieldsAndBlockAndReports1027) {
    std::string whole;
    {
        const FilterParams other = OtherSettings();
        ASSERT_EQ(SaveSettingsFile(Path("whole.fbl").c_str(), &other), 0);
        std::ifstream in(Path("whole.fbl"), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string bad[] = {
        "%rgb-1.0" + whole.substr(8),       // header of the wrong case
        whole.substr(0, whole.size() - 4),  // cut short inside the formulas
        "%RGB-1.0\r\x02"
        "21\r",  // cut short inside the sliders
        "",      // empty
    };
    for (const std::string& bytes : bad) {
        WriteBytes("bad.fbl", bytes);
        Session s(EditorBlock());
        s.Open();
        HeadlessDialog& d = s.dialog;
        const FilterParams before = s.Params();
        d.fileAnswers = {Path("bad.fbl")};
        d.Command(IDC_LOAD);
        ASSERT_EQ(d.boxes.size(), 1u);
        EXPECT_EQ(d.boxes[0].text, Message(IDS_READ_FAILED));
        EXPECT_EQ(d.boxes[0].caption, "Custom:Fablix");
        EXPECT_EQ(std::memcmp(&before, &s.Params(), sizeof before), 0) << bytes.size();
        for (int32_t i = 0; i < kFormulaCount; ++i) EXPECT_EQ(s.Field(i).text, before.formula[i]) << i;
        for (int32_t k = 0; k < kSliderCount; ++k)
            EXPECT_EQ(d.At(IDC_SLIDER_0 + k).position, int32_t{before.sliderValue[k]});
        EXPECT_EQ(d.drawings.size(), 1u);  // compiled and repainted before the message
    }
}

// What the dialog shows wins over a failed file: an edit not yet compiled
// goes into the block.
TEST_F(LoadSave, AFailedLoadTakesTheEditsTheDialogShows) {
    WriteBytes("bad.fbl", "%RGB-1.1\r");
    Session s(EditorBlock());
    s.Open();
    s.dialog.Type(IDC_FORMULA_0 + 1, "g/2");
    s.dialog.At(IDC_SLIDER_0 + 6).position = 99;
    s.dialog.fileAnswers = {Path("bad.fbl")};
    s.dialog.Command(IDC_LOAD);
    EXPECT_STREQ(s.Params().formula[1], "g/2");
    EXPECT_EQ(int32_t{s.Params().sliderValue[6]}, 99);
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 0);
}

TEST_F(LoadSave, AFileThatCannotBeOpenedReports1025AndTouchesNothing) {
    Session s(EditorBlock());
    s.Open();
    const FilterParams before = s.Params();
    s.State()->previewDirty = 0;
    s.State()->recompileNeeded = 1;
    s.dialog.fileAnswers = {Path("missing.fbl")};
    s.dialog.Command(IDC_LOAD);
    ASSERT_EQ(s.dialog.boxes.size(), 1u);
    EXPECT_EQ(s.dialog.boxes[0].text, Message(IDS_OPEN_FAILED));
    EXPECT_EQ(std::memcmp(&before, &s.Params(), sizeof before), 0);
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 1);  // no compile
    EXPECT_TRUE(s.dialog.drawings.empty());
}

TEST_F(LoadSave, SaveWritesTheBlocksSettings) {
    Session s(OtherSettings());
    s.Open();
    s.dialog.fileAnswers = {Path("saved.fbl")};
    s.dialog.Command(IDC_SAVE);
    EXPECT_TRUE(s.dialog.boxes.empty());
    FilterParams back = EditorBlock();
    ASSERT_EQ(LoadSettingsFile(Path("saved.fbl").c_str(), &back), 0);
    for (int32_t i = 0; i < kFormulaCount; ++i) EXPECT_STREQ(back.formula[i], s.Params().formula[i]);
    for (int32_t k = 0; k < kSliderCount; ++k)
        EXPECT_EQ(int32_t{back.sliderValue[k]}, int32_t{s.Params().sliderValue[k]});
}

// A save that cannot create its file reports 1025; a file that was there
// stays as it was.
TEST_F(LoadSave, ASaveThatCannotCreateItsFileReports1025) {
    Session s(EditorBlock());
    s.Open();
    s.dialog.fileAnswers = {Path("no/such/folder.fbl"), folder.string()};
    s.dialog.Command(IDC_SAVE);
    s.dialog.Command(IDC_SAVE);
    ASSERT_EQ(s.dialog.boxes.size(), 2u);
    for (const MessageBoxShown& box : s.dialog.boxes) EXPECT_EQ(box.text, Message(IDS_OPEN_FAILED));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST(FileTypes, EveryLastCharacterBecomesATerminator) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<std::string> list;
    };
    const Case cases[] = {
        {"Settings (*.fbl)!*.fbl!All Files (*.*)!*.*!", true, {"Settings (*.fbl)", "*.fbl", "All Files (*.*)", "*.*"}},
        {"A|*.a|", true, {"A", "*.a"}},
        {"!", true, {}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        char list[64];
        std::memset(list, 'q', sizeof list);
        EXPECT_EQ(SplitFileTypes(c.text, list, sizeof list), c.ok) << c.text;
        std::vector<std::string> items;
        for (const char* p = list; *p != 0; p += std::strlen(p) + 1) items.push_back(p);
        EXPECT_EQ(items, c.list) << c.text;
    }
    char small[8];
    EXPECT_FALSE(SplitFileTypes("Settings!*.fbl!", small, sizeof small));
    EXPECT_EQ(small[0], 0);
}

TEST(PluginFolder, JoinsThePluginsFolderWithANameAndExtension) {
    struct Case {
        const char* pluginPath;
        const char* name;
        const char* extension;
        int32_t size;
        const char* result;  // nullptr: none
    };
    const Case cases[] = {
        {"/plugins/FL-Fabx.rvp", nullptr, nullptr, 256, "/plugins/"},
        {"/plugins/FL-Fabx.rvp", "Blur", "rvp", 256, "/plugins/Blur.rvp"},
        {"C:\\Host\\Plug-ins\\FL-Fabx.rvp", "", "", 256, "C:\\Host\\Plug-ins\\"},
        {"C:FL-Fabx.rvp", "Blur", nullptr, 256, "C:Blur"},
        {"/odd:name/FL-Fabx.rvp", nullptr, nullptr, 256, "/odd:name/"},
        {"FL-Fabx.rvp", "Blur", "rvp", 256, "Blur.rvp"},
        {"/plugins/FL-Fabx.rvp", "Blur", "rvp", 17, nullptr},
        {"/plugins/FL-Fabx.rvp", "Blur", "rvp", 18, "/plugins/Blur.rvp"},
        {"", "Blur", "rvp", 256, nullptr},
    };
    for (const Case& c : cases) {
        HeadlessDialog d(false);
        d.pluginPath = c.pluginPath;
        char buffer[256];
        const char* made = MakePluginFolderPath(buffer, c.size, c.name, c.extension, &HeadlessServices());
        if (c.result == nullptr) {
            EXPECT_EQ(made, nullptr) << c.pluginPath << " " << c.size;
        } else {
            ASSERT_NE(made, nullptr) << c.pluginPath;
            EXPECT_STREQ(made, c.result);
        }
    }
}

}  // namespace
}  // namespace ui_test
