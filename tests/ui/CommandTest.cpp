// The settings dialog's commands: OK and its marking of the first failed
// formula, Cancel restoring the block, the error buttons, the switches, the
// formula fields' notifications and the sliders.
#include "DialogTestSupport.h"
#include "ReelInfoTest.h"
#include "SettingsSaveLoad.h"

#include <filesystem>
#include <unistd.h>

namespace ui_test {
namespace {

TEST(Ok, MarksTheFirstFailedFormulaBeepsOnceAndStaysOpen) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.Type(IDC_FORMULA_0 + 2, "r+$");    // fails at [2, 3)
    d.Type(IDC_FORMULA_0 + 0, "foo+1");  // fails at [0, 3)
    d.Command(IDC_OK);
    EXPECT_EQ(d.endCode, 0);
    EXPECT_EQ(d.beeps, 1);
    EXPECT_EQ(d.focused, IDC_FORMULA_0);
    EXPECT_EQ(s.Field(0).selectionStart, 0);
    EXPECT_EQ(s.Field(0).selectionEnd, 3);
    EXPECT_EQ(s.Field(2).selectionStart, -1);  // only the first one is marked
    // The fields went into the block and were compiled; the buttons show it.
    EXPECT_STREQ(s.Params().formula[0], "foo+1");
    EXPECT_STREQ(s.Params().formula[2], "r+$");
    EXPECT_EQ(int32_t{s.State()->compileFailed[0]}, 1);
    EXPECT_EQ(int32_t{s.State()->compileFailed[2]}, 1);
    EXPECT_TRUE(d.Visible(IDC_ERROR_BUTTON_0 + 0));
    EXPECT_FALSE(d.Visible(IDC_ERROR_BUTTON_0 + 1));
    EXPECT_TRUE(d.Visible(IDC_ERROR_BUTTON_0 + 2));
    EXPECT_FALSE(d.Visible(IDC_ERROR_BUTTON_0 + 3));

    d.Type(IDC_FORMULA_0 + 0, "b");
    d.Command(IDC_OK);
    EXPECT_EQ(d.endCode, 0);
    EXPECT_EQ(d.beeps, 2);
    EXPECT_EQ(d.focused, IDC_FORMULA_0 + 2);
    EXPECT_EQ(s.Field(2).selectionStart, 2);
    EXPECT_EQ(s.Field(2).selectionEnd, 3);
    EXPECT_FALSE(d.Visible(IDC_ERROR_BUTTON_0 + 0));

    d.Type(IDC_FORMULA_0 + 2, "r");
    d.Command(IDC_OK);
    EXPECT_EQ(d.endCode, kDialogEndOk);
    EXPECT_EQ(d.beeps, 2);
    EXPECT_STREQ(s.Params().formula[2], "r");
}

// Hidden fields are still read and compiled on OK.
TEST(Ok, SingleExpressionStillChecksTheHiddenFormulas) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.Click(IDC_SINGLE_EXPRESSION);
    EXPECT_EQ(int32_t{s.Params().singleExpression}, 1);
    EXPECT_FALSE(d.Visible(IDC_FORMULA_0 + 1));
    d.At(IDC_FORMULA_0 + 1).text = "min(1)";
    d.Command(IDC_OK);
    EXPECT_EQ(d.endCode, 0);
    EXPECT_EQ(d.beeps, 1);
    EXPECT_EQ(d.focused, IDC_FORMULA_0 + 1);
    EXPECT_EQ(s.Field(1).selectionStart, 5);
    EXPECT_EQ(s.Field(1).selectionEnd, 6);
}

// A built plug-in's OK closes at once: nothing read, nothing compiled.
TEST(Ok, TheCompactDialogClosesAtOnceEvenWithAFailingFormula) {
    FilterParams params = BuiltBlock({}, {0});
    std::strcpy(params.formula[0], "r+$");
    Session s(params, true);
    s.Open();
    EXPECT_EQ(int32_t{s.State()->compileFailed[0]}, 1);
    s.State()->recompileNeeded = 1;  // a compile would clear it
    const FilterParams before = s.Params();
    s.dialog.Command(IDC_OK);
    EXPECT_EQ(s.dialog.endCode, kDialogEndOk);
    EXPECT_EQ(s.dialog.beeps, 0);
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 1);
    EXPECT_EQ(std::memcmp(&before, &s.Params(), sizeof before), 0);
}

// Cancel puts back the block as it was when the dialog opened, byte for
// byte, and compiles it, so that the code matches the block again.
TEST(Cancel, RestoresTheBlockAfterLoadAndSliderMovesAndCompilesIt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("fablix_ui_cancel-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    FilterParams other = EditorBlock();
    SetFormulas(other, "x", "y", "255", "a");
    for (int32_t k = 0; k < kSliderCount; ++k) other.sliderValue[k] = 200 + k;
    const std::string file = (folder / "other.fbl").string();
    ASSERT_EQ(SaveSettingsFile(file.c_str(), &other), 0);

    FilterParams params = EditorBlock();
    // Bytes after a terminator are part of the block too.
    std::memset(params.formula[3] + 2, 'z', 40);
    Session s(params);
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.MoveSlider(IDC_SLIDER_0 + 1, 3);
    d.Type(IDC_FORMULA_0 + 1, "r*2");
    d.Tick();
    d.fileAnswers = {file};
    d.Command(IDC_LOAD);
    d.Click(IDC_SINGLE_EXPRESSION);
    ASSERT_STREQ(s.Params().formula[0], "x");
    ASSERT_EQ(int32_t{s.Params().sliderValue[1]}, 201);

    d.Command(IDC_CANCEL);
    EXPECT_EQ(d.endCode, kDialogEndCancel);
    EXPECT_EQ(std::memcmp(&s.Params(), &params, sizeof params), 0);
    auto expected = std::make_unique<InstanceState>();
    std::memset(expected.get(), 0, sizeof(InstanceState));
    CompileFormulas(expected.get(), &params);
    EXPECT_EQ(std::memcmp(s.State()->codeAreas, expected->codeAreas, sizeof expected->codeAreas), 0);
    std::filesystem::remove_all(folder);
}

TEST(ErrorButtons, MarkAFailedFormulaAndDoNothingForOneThatCompiles) {
    FilterParams params = EditorBlock();
    SetFormulas(params, "r", "a=b", "g", "b");
    Session s(params);
    s.Open();
    HeadlessDialog& d = s.dialog;
    const size_t logged = d.log.size();
    d.Command(IDC_ERROR_BUTTON_0 + 0);
    d.Command(IDC_ERROR_BUTTON_0 + 3);
    EXPECT_EQ(d.log.size(), logged);
    d.Command(IDC_ERROR_BUTTON_0 + 1);
    EXPECT_EQ(d.focused, IDC_FORMULA_0 + 1);
    EXPECT_EQ(s.Field(1).selectionStart, 1);
    EXPECT_EQ(s.Field(1).selectionEnd, 2);
    EXPECT_EQ(d.beeps, 0);
}

TEST(ErrorButtons, DrawTheIconOnlyWhenTheWholeItemIsAsked) {
    Session s(EditorBlock());
    s.Open();
    RvDeviceContext dc = reinterpret_cast<RvDeviceContext>(s.dialog.Window());
    DrawErrorButton(s.dialog.Dialog(), dc, false);
    EXPECT_EQ(s.dialog.Count("drawIcon"), 0);
    DrawErrorButton(s.dialog.Dialog(), dc, true);
    EXPECT_EQ(s.dialog.Count("drawIcon 0 0"), 1);
}

// Typing only marks the formulas for the next tick; other notifications
// and unknown ids change nothing.
TEST(Commands, OnlyAChangeNotificationMarksTheFormulas) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    const FilterParams before = s.Params();
    d.Command(IDC_FORMULA_0 + 2, 0x0100);
    d.Command(IDC_FORMULA_0 + 2, 0x0200);
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 0);
    const size_t logged = d.log.size();
    for (int32_t id : {0, 3, 200, 205, 210, 250, 253, 300, 304, 400, 410, 1401, 65535}) d.Command(id);
    EXPECT_EQ(d.log.size(), logged);
    EXPECT_EQ(d.endCode, 0);
    EXPECT_EQ(std::memcmp(&before, &s.Params(), sizeof before), 0);
    d.Type(IDC_FORMULA_0 + 3, "r");
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 1);
    EXPECT_STREQ(s.Params().formula[3], before.formula[3]);  // not read before the tick
}

// The switch compiles the block's formulas at once and has the fields read
// on the next tick.
TEST(Commands, SingleExpressionSwitchesVisibilityAndRecompiles) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    s.State()->previewDirty = 0;
    d.Click(IDC_SINGLE_EXPRESSION);
    EXPECT_EQ(int32_t{s.Params().singleExpression}, 1);
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 1);
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 1);
    for (int32_t id : {201, 202, 203, 143, 144, 145, 146}) EXPECT_FALSE(d.Visible(id)) << id;
    EXPECT_TRUE(d.Visible(IDC_FORMULA_0 + 3));
    d.Click(IDC_SINGLE_EXPRESSION);
    EXPECT_EQ(int32_t{s.Params().singleExpression}, 0);
    for (int32_t id : {201, 202, 203, 143, 144, 145, 146}) EXPECT_TRUE(d.Visible(id)) << id;
}

TEST(Sliders, MovingSlider3UpdatesLabel126AtOnceAndMarksThePreview) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.Tick();
    const size_t drawn = d.drawings.size();
    d.At(IDC_SLIDER_0).position = 5;  // moved without a notification yet
    d.MoveSlider(IDC_SLIDER_0 + 3, 77);
    EXPECT_EQ(d.At(IDC_SLIDER_VALUE_0 + 3).text, "77");
    EXPECT_EQ(d.Count("repaintNow 126"), 1);
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 1);
    EXPECT_EQ(d.drawings.size(), drawn);
    // Every slider is read back, not only the one that moved.
    EXPECT_EQ(int32_t{s.Params().sliderValue[3]}, 77);
    EXPECT_EQ(int32_t{s.Params().sliderValue[0]}, 5);
    d.Tick();
    EXPECT_EQ(d.drawings.size(), drawn + 1);
}

// The sliders a built plug-in hides keep their values when a shown one moves.
TEST(Sliders, HiddenSlidersOfTheCompactDialogKeepTheirValues) {
    Session s(BuiltBlock({1}, {}), true);
    s.Open();
    const FilterParams before = s.Params();
    s.dialog.MoveSlider(IDC_SLIDER_0 + 2, 9);
    EXPECT_EQ(int32_t{s.Params().sliderValue[2]}, 9);
    for (int32_t k : {0, 1, 3, 4, 5, 6, 7})
        EXPECT_EQ(int32_t{s.Params().sliderValue[k]}, int32_t{before.sliderValue[k]}) << k;
    EXPECT_EQ(s.dialog.At(IDC_SLIDER_VALUE_0 + 2).text, "9");
}

TEST(Sliders, TheFrameSliderSetsThePreviewTime) {
    Session s(EditorBlock());
    s.Open();
    s.State()->previewDirty = 0;
    s.dialog.MoveSlider(IDC_PREVIEW_SLIDER, 7);
    EXPECT_EQ(s.record.time, 7);
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 1);
}

TEST(Commands, TheAnimationSwitchRestartsThePhaseOnlyWhenTurnedOn) {
    Session s(EditorBlock());
    s.Open();
    s.State()->animationPhase = 5;
    s.dialog.Click(IDC_ANIMATE);
    EXPECT_EQ(int32_t{s.State()->animate}, 1);
    EXPECT_EQ(int32_t{s.State()->animationPhase}, 0);
    s.State()->animationPhase = 4;
    s.record.time = 33;
    s.dialog.Click(IDC_ANIMATE);
    EXPECT_EQ(int32_t{s.State()->animate}, 0);
    EXPECT_EQ(int32_t{s.State()->animationPhase}, 4);
    EXPECT_EQ(s.record.time, 33);
}

// Build opens the build dialog with the animation paused; cancelled, it
// writes nothing, shows nothing and changes nothing.
TEST(Commands, CancelledBuildChangesNothing) {
    Session s(EditorBlock());
    s.Open();
    s.State()->animate = 1;
    auto before = std::make_unique<InstanceState>();
    std::memcpy(before.get(), s.State(), sizeof(InstanceState));
    static thread_local int16_t animateDuringDialog;
    static thread_local InstanceState* state;
    state = s.State();
    RvTestSetDialogRunner([](int32_t, RvWindow, RvDialogProc, RvHandle, RvInstance) -> intptr_t {
        animateDuringDialog = state->animate;
        return 2;
    });
    const int32_t runs = RvTestDialogRuns();
    s.dialog.Command(IDC_BUILD);
    RvTestSetDialogRunner(nullptr);
    EXPECT_EQ(RvTestDialogRuns(), runs + 1);
    EXPECT_EQ(RvTestLastDialogTemplate(), IDD_BUILD);
    EXPECT_EQ(int32_t{animateDuringDialog}, 0);
    EXPECT_EQ(std::memcmp(before.get(), s.State(), sizeof(InstanceState)), 0);
    EXPECT_TRUE(s.dialog.boxes.empty());
    EXPECT_EQ(s.dialog.endCode, 0);
}

TEST(Commands, DestroyStopsTheTimer) {
    Session s(EditorBlock());
    s.Open();
    SettingsDialogDestroyed(s.dialog.Dialog());
    EXPECT_EQ(s.dialog.timerPeriod, 0);
}

}  // namespace
}  // namespace ui_test
