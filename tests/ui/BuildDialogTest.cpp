// The build dialog without a window: its logic over the headless controls
// port, the module-name checks against a plug-in folder of its own and this
// process's loaded libraries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BuildDialog.h"
#include "DialogTestSupport.h"
#include "ReelInfoTest.h"

namespace ui_test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kMap0 = IDC_MAP_ENABLED_0, kSlider0 = IDC_SLIDER_ENABLED_0;

thread_local std::string gOwnPath;

int32_t OwnPath(char* buffer, int32_t capacity) {
    if (gOwnPath.size() + 1 > static_cast<size_t>(capacity)) return -1;
    std::memcpy(buffer, gOwnPath.c_str(), gOwnPath.size() + 1);
    return static_cast<int32_t>(gOwnPath.size());
}

// Boxes as a mask: bits 0-3 maps 0-3, bits 4-11 sliders 0-7.
constexpr uint32_t MapBit(int32_t i) { return 1u << i; }
constexpr uint32_t SliderBit(int32_t j) { return 1u << (kMapCount + j); }
int32_t BoxId(int32_t bit) { return bit < kMapCount ? kMap0 + bit : kSlider0 + bit - kMapCount; }

FilterParams BlockWithBoxes(uint32_t boxes) {
    FilterParams params = BuiltBlock({}, {});
    for (int32_t i = 0; i < kMapCount; ++i) params.mapEnabled[i] = (boxes & MapBit(i)) ? 1 : 0;
    for (int32_t j = 0; j < kSliderCount; ++j) params.sliderEnabled[j] = (boxes & SliderBit(j)) ? 1 : 0;
    std::strcpy(params.title, "Tones:Warm");
    std::strcpy(params.moduleName, "Warm");
    std::strcpy(params.notice, "kept notice");
    return params;
}

// The plug-in's own file "FL-Fabx.rvp" in a folder of the test's own.
class BuildDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "fablix-build-dialog-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        gOwnPath = (folder / "FL-Fabx.rvp").string();
        std::ofstream(gOwnPath) << "image";
        services = HeadlessServices();
        services.ownFilePath = OwnPath;
        state.reset(new InstanceState);
        std::memset(state.get(), 0, sizeof(InstanceState));
    }
    void TearDown() override { fs::remove_all(folder); }

    void Open(const FilterParams& params) {
        state->params = params;
        context.instanceState = state.get();
        context.params = &state->params;
        EXPECT_EQ(InitBuildDialog(Dialog(), &contextAddress), 1);
    }
    BuildDialog Dialog() { return BuildDialog{&HeadlessDialog::Port(), &services, dialog.Window(), &memory}; }
    void Command(int32_t id, int32_t code = 0) { BuildDialogCommand(Dialog(), id, 0, code); }
    // A click toggles the box before the dialog hears of it.
    void Click(int32_t id) {
        dialog.At(id).checked = !dialog.At(id).checked;
        Command(id);
    }
    // Typing stops at the field's limit; then the field reports the change.
    void TypeKeys(int32_t id, const std::string& text) {
        Control& field = dialog.At(id);
        field.text = field.limit > 0 ? text.substr(0, static_cast<size_t>(field.limit)) : text;
        Command(id, kFieldChanged);
    }
    void LeaveName() { Command(IDC_MODULE_NAME, kFieldFocusLost); }
    uint32_t Boxes() {
        uint32_t boxes = 0;
        for (int32_t bit = 0; bit < kMapCount + kSliderCount; ++bit)
            if (dialog.At(BoxId(bit)).checked) boxes |= 1u << bit;
        return boxes;
    }
    FilterParams& Params() { return state->params; }

    fs::path folder;
    Services services{};
    std::unique_ptr<InstanceState> state;
    DialogContext context{};
    void* contextAddress = &context;
    HeadlessDialog dialog{BuildTemplate{}};
    BuildDialogMemory memory{};
};

struct CouplingCase {
    const char* what;
    uint32_t before;
    int32_t clicked;  // bit of the clicked box
    uint32_t after;
};

TEST_F(BuildDialogTest, CheckedMapsAndTheirSlidersExcludeEachOtherOnlyWhenChecked) {
    const CouplingCase cases[] = {
        {"checking Map 1 unchecks Sliders 2 and 3 only", SliderBit(2) | SliderBit(3) | SliderBit(4) | MapBit(0), 1,
         MapBit(1) | SliderBit(4) | MapBit(0)},
        {"checking Slider 5 unchecks Map 2", MapBit(2) | MapBit(3), kMapCount + 5, SliderBit(5) | MapBit(3)},
        {"checking Slider 0 with Map 0 off changes nothing else", SliderBit(1) | MapBit(1), kMapCount + 0,
         SliderBit(0) | SliderBit(1) | MapBit(1)},
        {"checking Slider 7 unchecks Map 3", MapBit(3), kMapCount + 7, SliderBit(7)},
        {"unchecking Map 0 changes no slider", MapBit(0) | SliderBit(0) | SliderBit(1), 0, SliderBit(0) | SliderBit(1)},
        {"unchecking Slider 2 changes no map", MapBit(1) | SliderBit(2), kMapCount + 2, MapBit(1)},
    };
    for (const CouplingCase& c : cases) {
        Open(BlockWithBoxes(c.before));
        ASSERT_EQ(Boxes(), c.before) << c.what << ": the boxes open as the block holds them";
        Click(BoxId(c.clicked));
        EXPECT_EQ(Boxes(), c.after) << c.what;
    }
}

struct ControlsCase {
    uint32_t boxes;
    int32_t hasControls;
};

TEST_F(BuildDialogTest, OkStoresTheBoxesAndHasControlsAndClearsTheReservedWords) {
    const ControlsCase cases[] = {
        {0, 0},
        {SliderBit(7), 1},
        {MapBit(0) | SliderBit(0), 1},  // a block may hold both; untouched, both stay
        {MapBit(3), 1},
    };
    for (const ControlsCase& c : cases) {
        FilterParams block = BlockWithBoxes(c.boxes);
        block.hasControls = 1 - c.hasControls;
        block.reserved[0] = 7, block.reserved[1] = -1, block.reserved[2] = 9;
        Open(block);
        Command(IDC_OK);
        EXPECT_EQ(dialog.endCode, IDC_OK);
        EXPECT_EQ(int32_t{Params().hasControls}, c.hasControls) << c.boxes;
        for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(int32_t{Params().reserved[i]}, 0);
        for (int32_t i = 0; i < kMapCount; ++i)
            EXPECT_EQ(int32_t{Params().mapEnabled[i]}, (c.boxes & MapBit(i)) ? 1 : 0);
        for (int32_t j = 0; j < kSliderCount; ++j)
            EXPECT_EQ(int32_t{Params().sliderEnabled[j]}, (c.boxes & SliderBit(j)) ? 1 : 0);
    }
}

// Every edited field lands in its slot, cut to its limit, with the bytes
// after the terminator as they were; nothing else of the block changes.
TEST_F(BuildDialogTest, OkWritesEveryFieldAndNothingElse) {
    FilterParams block = BlockWithBoxes(MapBit(2));
    std::memset(block.title, 'x', sizeof block.title);
    std::strcpy(block.title, "Tones:Warm and bright");
    Open(block);
    EXPECT_EQ(dialog.At(IDC_TITLE).text, "Tones:Warm and bright");
    EXPECT_EQ(dialog.At(IDC_AUTHOR_TEXT).text, "Ada's filters");
    EXPECT_EQ(dialog.At(IDC_MAP_NAME_TEXT_0 + 3).text, "Tone 3");
    EXPECT_EQ(dialog.At(IDC_SLIDER_NAME_TEXT_0 + 7).text, "Knob 7");

    TypeKeys(IDC_MODULE_NAME, "Cool");
    TypeKeys(IDC_TITLE, "Tones:Cool" + std::string(300, 't'));
    TypeKeys(IDC_AUTHOR_TEXT, std::string(300, 'a'));
    TypeKeys(IDC_MAP_NAME_TEXT_0 + 1, "Shade");
    TypeKeys(IDC_SLIDER_NAME_TEXT_0 + 6, std::string(300, 's'));
    Click(kSlider0 + 4);  // unchecks Map 2
    Command(IDC_OK);
    ASSERT_EQ(dialog.endCode, IDC_OK);

    FilterParams expected = block;
    std::strcpy(expected.moduleName, "Cool");
    const std::string title = ("Tones:Cool" + std::string(300, 't')).substr(0, 253);
    std::memcpy(expected.title, title.c_str(), title.size() + 1);
    std::memset(expected.author, 'a', 254);
    expected.author[254] = 0;
    std::strcpy(expected.mapName[1], "Shade");
    std::memset(expected.sliderName[6], 's', 254);
    expected.sliderName[6][254] = 0;
    expected.mapEnabled[2] = 0;
    expected.sliderEnabled[4] = 1;
    expected.hasControls = 1;
    EXPECT_EQ(std::memcmp(&Params(), &expected, sizeof expected), 0);
    EXPECT_STREQ(Params().notice, "kept notice");
}

TEST_F(BuildDialogTest, TheNameFieldTakesEightTypedCharactersButShowsALongerStoredName) {
    FilterParams block = BlockWithBoxes(0);
    std::strcpy(block.moduleName, "TwelveLetter");
    Open(block);
    EXPECT_EQ(dialog.At(IDC_MODULE_NAME).text, "TwelveLetter");
    Command(IDC_OK);  // kept as it is: it reaches the check and the block
    EXPECT_EQ(dialog.endCode, IDC_OK);
    EXPECT_STREQ(Params().moduleName, "TwelveLetter");

    dialog.endCode = 0;
    TypeKeys(IDC_MODULE_NAME, "ABCDEFGHI");
    EXPECT_EQ(dialog.At(IDC_MODULE_NAME).text, "ABCDEFGH");
    Command(IDC_OK);
    EXPECT_STREQ(Params().moduleName, "ABCDEFGH");
}

TEST_F(BuildDialogTest, LeavingTheNameFieldChecksOncePerChange) {
    // A name the check rejects, so that every check shows a box.
    FilterParams block = BlockWithBoxes(0);
    std::strcpy(block.moduleName, "FL-Fabx");
    memory.moduleNameChanged = 1;  // filling the field during initialisation reports a change
    Open(block);
    LeaveName();
    EXPECT_TRUE(dialog.boxes.empty()) << "unchanged: no check";
    TypeKeys(IDC_MODULE_NAME, "FL-Fabx");
    LeaveName();
    ASSERT_EQ(dialog.boxes.size(), 1u) << "changed: one check";
    EXPECT_EQ(dialog.boxes[0].text, Message(IDS_NAME_EXISTS));
    LeaveName();
    EXPECT_EQ(dialog.boxes.size(), 1u) << "left again without a change: no check";
    EXPECT_EQ(dialog.endCode, 0) << "the check on leaving blocks nothing";
    TypeKeys(IDC_MODULE_NAME, "Fresh");
    LeaveName();
    TypeKeys(IDC_MODULE_NAME, "FL-Fabx");
    LeaveName();
    EXPECT_EQ(dialog.boxes.size(), 2u);
}

struct RejectionCase {
    const char* name;
    int32_t message;
};

// The plug-in's own name is rejected since its file is in the folder; a
// library this process has loaded is reserved.
TEST_F(BuildDialogTest, RejectedNamesKeepTheDialogOpenWithTheNameSelected) {
    std::ofstream((folder / "Taken.rvp").string()) << "plug-in";
    const RejectionCase cases[] = {
        {"libc", IDS_RESERVED_NAME}, {"FL-Fabx", IDS_NAME_EXISTS}, {"Taken", IDS_NAME_EXISTS},
        {"a/b", IDS_RESERVED_NAME},  {"", IDS_NO_MODULE_NAME},
    };
    for (const RejectionCase& c : cases) {
        dialog.boxes.clear();
        dialog.focused = 0;
        dialog.At(IDC_MODULE_NAME).selectionStart = -1;
        const FilterParams block = BlockWithBoxes(SliderBit(1));
        Open(block);
        TypeKeys(IDC_TITLE, "Edited:Title");
        Click(kMap0 + 2);
        TypeKeys(IDC_MODULE_NAME, c.name);
        Command(IDC_OK);
        EXPECT_EQ(dialog.endCode, 0) << c.name;
        ASSERT_EQ(dialog.boxes.size(), 1u) << c.name;
        EXPECT_TRUE(dialog.boxes[0].error);
        EXPECT_EQ(dialog.boxes[0].text, Message(c.message)) << c.name;
        EXPECT_EQ(dialog.boxes[0].caption, "Tones:Warm") << "the title as it was";
        EXPECT_EQ(dialog.focused, IDC_MODULE_NAME);
        EXPECT_EQ(dialog.At(IDC_MODULE_NAME).selectionStart, 0);
        EXPECT_EQ(dialog.At(IDC_MODULE_NAME).selectionEnd, 999);
        EXPECT_EQ(std::memcmp(&Params(), &block, sizeof block), 0) << c.name;
    }
    EXPECT_FALSE(Message(IDS_NO_MODULE_NAME).empty());
}

TEST_F(BuildDialogTest, CancelAfterEditingEverythingLeavesTheBlockAsItWas) {
    const FilterParams block = BlockWithBoxes(MapBit(0) | SliderBit(5));
    Open(block);
    for (int32_t id : {IDC_MODULE_NAME, IDC_TITLE, IDC_AUTHOR_TEXT}) TypeKeys(id, "changed");
    for (int32_t i = 0; i < kMapCount; ++i) TypeKeys(IDC_MAP_NAME_TEXT_0 + i, "m");
    for (int32_t j = 0; j < kSliderCount; ++j) TypeKeys(IDC_SLIDER_NAME_TEXT_0 + j, "s");
    for (int32_t bit = 0; bit < kMapCount + kSliderCount; ++bit) Click(BoxId(bit));
    Command(IDC_CANCEL);
    EXPECT_EQ(dialog.endCode, IDC_CANCEL);
    EXPECT_EQ(std::memcmp(&Params(), &block, sizeof block), 0);
}

// RunBuildDialog over the host's dialog service: what the dialog is given,
// and its answer.
thread_local DialogContext gSeen;
thread_local intptr_t gAnswer;
intptr_t Runner(int32_t templateId, RvWindow, RvDialogProc, RvHandle data, RvInstance) {
    EXPECT_EQ(templateId, IDD_BUILD);
    gSeen = *static_cast<DialogContext*>(*data);
    return gAnswer;
}

TEST_F(BuildDialogTest, RunBuildDialogReportsOkOnlyAndSurvivesAFailedAllocation) {
    RvTestSetDialogRunner(Runner);
    FilterRecord record{};
    for (intptr_t answer : {1, 2, -1}) {
        gAnswer = answer;
        const int32_t handles = RvTestLiveHandles();
        EXPECT_EQ(RunBuildDialog(services, &record, state.get(), &state->params), answer == 1) << answer;
        // The context is packed: its fields are compared, not bound.
        EXPECT_TRUE(gSeen.filterRecord == &record);
        EXPECT_TRUE(gSeen.instanceState == state.get());
        EXPECT_TRUE(gSeen.params == &state->params);
        EXPECT_EQ(RvTestLiveHandles(), handles) << "the context is disposed of";
    }
    gAnswer = 1;
    const int32_t runs = RvTestDialogRuns();
    RvTestFailNextNewHandle();
    EXPECT_FALSE(RunBuildDialog(services, &record, state.get(), &state->params));
    EXPECT_EQ(RvTestDialogRuns(), runs) << "no dialog without its context";
    RvTestSetDialogRunner(nullptr);
}

}  // namespace
}  // namespace ui_test
