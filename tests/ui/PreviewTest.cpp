// The preview: the tick's animation, recompile and repaint; the paint into
// the preview frame; a render stopped by waiting input; pause and resume;
// and the thumb painter.
#include "DialogTestSupport.h"
#include "Preview.h"
#include "ThumbPainter.h"

#include <filesystem>
#include <unistd.h>

namespace ui_test {
namespace {

std::vector<int32_t> AnimatedTimes(int32_t total, int32_t ticks) {
    Session s(EditorBlock(), false, total);
    s.Open();
    s.dialog.Click(IDC_ANIMATE);
    std::vector<int32_t> times;
    for (int32_t i = 0; i < ticks; ++i) {
        s.dialog.Tick();
        times.push_back(s.record.time);
        // The frame slider follows the animation.
        EXPECT_EQ(s.dialog.At(IDC_PREVIEW_SLIDER).position, s.record.time) << total << " tick " << i;
    }
    return times;
}

TEST(Animation, StepsThroughNineTimesOfTheClip) {
    struct Case {
        int32_t total;
        std::vector<int32_t> times;
    };
    const Case cases[] = {
        {8, {1, 2, 3, 4, 5, 6, 7, 8, 0, 1}},
        {10, {1, 2, 3, 5, 6, 7, 8, 10, 0, 1}},
        {0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {65536, {8192, 16384, 24576, 32768, 40960, 49152, 57344, 65536, 0, 8192}},
        {100000, {12500, 25000, 37500, 50000, 62500, 75000, 87500, 100000, 0, 12500}},
    };
    for (const Case& c : cases) EXPECT_EQ(AnimatedTimes(c.total, 10), c.times) << c.total;
}

// The slider's range holds the low 16 bits of total only; the animation
// writes the whole times all the same.
TEST(Animation, TotalsBeyond16BitsKeepTheirTimesButNotTheSliderRange) {
    Session s(EditorBlock(), false, 65536 + 40);
    s.Open();
    EXPECT_EQ(s.dialog.At(IDC_PREVIEW_SLIDER).rangeMax, 40);
    s.dialog.Click(IDC_ANIMATE);
    for (int32_t i = 0; i < 8; ++i) s.dialog.Tick();
    EXPECT_EQ(s.record.time, 65576);
}

TEST(Animation, TimesAreA32BitProductDividedTowardZero) {
    struct Case {
        int32_t total, phase, time;
    };
    const Case cases[] = {
        {10, 3, 3}, {-10, 3, -3}, {0x7FFFFFFF, 1, 0x0FFFFFFF}, {0x7FFFFFFF, 2, 0}, {0x40000000, 8, 0}};
    for (const Case& c : cases) EXPECT_EQ(AnimationTime(c.total, c.phase), c.time) << c.total << " " << c.phase;
}

TEST(Animation, TheFrameSliderMovesTheTimeUntilTheNextTick) {
    Session s(EditorBlock(), false, 10);
    s.Open();
    s.dialog.Click(IDC_ANIMATE);
    s.dialog.Tick();
    s.dialog.Tick();
    EXPECT_EQ(s.record.time, 2);
    s.dialog.MoveSlider(IDC_PREVIEW_SLIDER, 9);
    EXPECT_EQ(s.record.time, 9);
    s.dialog.Tick();
    EXPECT_EQ(s.record.time, 3);
    EXPECT_EQ(s.dialog.At(IDC_PREVIEW_SLIDER).position, 3);
}

// Without the animation the slider is left where the user put it.
TEST(Animation, AStillPreviewLeavesTheFrameSliderAlone) {
    Session s(EditorBlock(), false, 10);
    s.Open();
    s.dialog.MoveSlider(IDC_PREVIEW_SLIDER, 6);
    const int32_t sent = s.dialog.Count("send 409 32986");
    s.dialog.Tick();
    EXPECT_EQ(s.dialog.Count("send 409 32986"), sent);
    EXPECT_EQ(s.record.time, 6);
    EXPECT_EQ(s.dialog.drawings.size(), 1u);
}

// The paint renders the record's frame with the current code into its
// destination, outlines the preview frame and draws the map into it.
TEST(Paint, DrawsTheRenderedFrameIntoThePreviewFrame) {
    FilterParams params = EditorBlock();
    SetFormulas(params, "x*10", "ctl(1)", "t*20", "y");
    Session s(params);
    s.Open();
    HeadlessDialog& d = s.dialog;
    s.dialog.MoveSlider(IDC_PREVIEW_SLIDER, 4);
    d.Tick();
    ASSERT_EQ(d.drawings.size(), 1u);
    const Rect preview = d.At(IDC_PREVIEW).rect;
    const Drawing& drawing = d.drawings[0];
    EXPECT_EQ(drawing.source.right, kFrameWidth);
    EXPECT_EQ(drawing.source.bottom, kFrameHeight);
    EXPECT_EQ(drawing.destination.left, preview.left);
    EXPECT_EQ(drawing.destination.bottom, preview.bottom);
    EXPECT_EQ(drawing.pixels, s.ExpectedFrame(4));
    ASSERT_EQ(d.outlines.size(), 1u);
    EXPECT_EQ(d.outlines[0].brush, "black");
    EXPECT_EQ(d.outlines[0].rect.left, preview.left - 1);
    EXPECT_EQ(d.outlines[0].rect.top, preview.top - 1);
    EXPECT_EQ(d.outlines[0].rect.right, preview.right + 1);
    EXPECT_EQ(d.outlines[0].rect.bottom, preview.bottom + 1);
    EXPECT_EQ(d.Count("beginDrawing"), 1);
    EXPECT_EQ(d.Count("endDrawing"), 1);
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 0);
    // The host loaded the source frame of the new time.
    EXPECT_EQ(LoadedTimes(), std::vector<int32_t>{4});

    // Nothing dirty, nothing drawn; a paint message draws all the same.
    d.Tick();
    EXPECT_EQ(d.drawings.size(), 1u);
    d.Paint();
    EXPECT_EQ(d.drawings.size(), 2u);
    EXPECT_EQ(LoadedTimes(), std::vector<int32_t>{4});
}

// Typing is compiled on the next tick, once, however many edits came.
TEST(Paint, EditsAreCompiledOnTheNextTick) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.Tick();
    d.Type(IDC_FORMULA_0 + 1, "r+");
    d.Type(IDC_FORMULA_0 + 1, "r+x$");
    EXPECT_EQ(int32_t{s.State()->compileFailed[1]}, 0);
    d.Tick();
    EXPECT_STREQ(s.Params().formula[1], "r+x$");
    EXPECT_EQ(int32_t{s.State()->compileFailed[1]}, 1);
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 0);
    EXPECT_TRUE(d.Visible(IDC_ERROR_BUTTON_0 + 1));
    EXPECT_FALSE(d.Visible(IDC_ERROR_BUTTON_0 + 0));
    EXPECT_EQ(d.Count("getText 202"), 1);
    EXPECT_EQ(d.drawings.back().pixels, s.ExpectedFrame(0));
}

// Input waiting stops the render after the current row: nothing drawn,
// still dirty; the next tick renders with what changed meanwhile.
TEST(Paint, ASliderMovedDuringARenderIsShownByTheNextTick) {
    FilterParams params = EditorBlock();
    SetFormulas(params, "ctl(3)", "ctl(3)", "ctl(3)", "255");
    Session s(params);
    s.Open();
    HeadlessDialog& d = s.dialog;
    int32_t rows = 0;
    d.inputWaiting = [&rows] { return ++rows == 1; };  // the press arrives during the first row
    d.Tick();
    EXPECT_EQ(rows, 1);
    EXPECT_TRUE(d.drawings.empty());
    EXPECT_EQ(d.Count("beginDrawing"), 0);
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 1);
    // Only the first row was written.
    EXPECT_EQ(s.destination.pixels[0], 67);
    EXPECT_EQ(s.destination.pixels[static_cast<size_t>(s.destination.map.rowBytes)], 0x5A);

    d.MoveSlider(IDC_SLIDER_0 + 3, 150);  // the press, handled after the tick
    d.Tick();
    ASSERT_EQ(d.drawings.size(), 1u);
    EXPECT_EQ(d.drawings[0].pixels[0], 150);
    EXPECT_EQ(d.drawings[0].pixels, s.ExpectedFrame(0));
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 0);
}

// The animation's slider update does not wait for a paint that stopped.
TEST(Paint, TheFrameSliderFollowsEvenWhenThePaintStopped) {
    Session s(EditorBlock(), false, 16);
    s.Open();
    s.dialog.inputWaiting = [] { return true; };
    s.dialog.Click(IDC_ANIMATE);
    s.dialog.Tick();
    EXPECT_TRUE(s.dialog.drawings.empty());
    EXPECT_EQ(s.dialog.At(IDC_PREVIEW_SLIDER).position, 2);
}

// On Windows the render's look into the queue also handles messages sent
// from other threads: a click that stops the animation can arrive during a
// tick's paint. The slider still shows the time that tick set.
TEST(Paint, TheFrameSliderShowsTheTicksTimeWhenTheAnimationStopsDuringThePaint) {
    Session s(EditorBlock(), false, 16);
    s.Open();
    s.dialog.Click(IDC_ANIMATE);
    bool stopped = false;
    s.dialog.inputWaiting = [&] {
        if (!stopped) s.dialog.Click(IDC_ANIMATE);
        stopped = true;
        return false;
    };
    s.dialog.Tick();
    EXPECT_EQ(int32_t{s.State()->animate}, 0);
    EXPECT_EQ(s.record.time, 2);
    EXPECT_EQ(s.dialog.At(IDC_PREVIEW_SLIDER).position, 2);
}

// A nested dialog holds the animation still; ticks that arrive meanwhile
// still recompile and repaint; the phase goes on from where it stopped.
TEST(PauseResume, SaveKeepsThePhase) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("fablix_ui_pause-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    Session s(EditorBlock(), false, 80);
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.Click(IDC_ANIMATE);
    for (int32_t i = 0; i < 3; ++i) d.Tick();
    ASSERT_EQ(s.record.time, 30);
    d.Type(IDC_FORMULA_0 + 3, "128");
    int32_t animateDuring = -1;
    d.duringFileDialog = [&] {
        animateDuring = s.State()->animate;
        d.Tick();
        d.Tick();
    };
    d.fileAnswers = {(folder / "paused.fbl").string()};
    const size_t drawn = d.drawings.size();
    d.Command(IDC_SAVE);
    EXPECT_EQ(animateDuring, 0);
    EXPECT_EQ(int32_t{s.State()->animationPhase}, 3);
    EXPECT_EQ(s.record.time, 30);
    EXPECT_STREQ(s.Params().formula[3], "128");  // recompiled during the nested dialog
    EXPECT_EQ(d.drawings.size(), drawn + 1);
    EXPECT_EQ(int32_t{s.State()->animate}, 1);
    d.Tick();
    EXPECT_EQ(int32_t{s.State()->animationPhase}, 4);
    EXPECT_EQ(s.record.time, 40);
    EXPECT_TRUE(std::filesystem::exists(folder / "paused.fbl"));
    std::filesystem::remove_all(folder);
}

TEST(PauseResume, LoadAndBuildPauseAndResumeTooAndAStoppedAnimationStaysStopped) {
    for (int32_t command : {IDC_LOAD, IDC_SAVE, IDC_BUILD}) {
        for (bool animating : {false, true}) {
            Session s(EditorBlock());
            s.Open();
            if (animating) s.dialog.Click(IDC_ANIMATE);
            int32_t during = -1;
            s.dialog.duringFileDialog = [&] { during = s.State()->animate; };
            s.dialog.Command(command);
            if (command != IDC_BUILD) {
                EXPECT_EQ(during, 0) << command;
            }
            EXPECT_EQ(int32_t{s.State()->animate}, animating ? 1 : 0) << command;
        }
    }
}

// Four rings of button face, a black and a white ring, then a core in the
// host's colour 1 with a black outline.
TEST(ThumbPainter, PaintsItsRingsFromTheOutsideIn) {
    Session s(EditorBlock());
    s.Open();
    HeadlessDialog& d = s.dialog;
    d.At(IDC_SLIDER_0).rect = Rect{100, 50, 120, 64};
    const size_t logged = d.log.size();
    PaintThumb(HeadlessDialog::Port(), reinterpret_cast<RvWindow>(intptr_t{IDC_SLIDER_0}),
               reinterpret_cast<RvDeviceContext>(d.Window()));
    EXPECT_EQ(d.log[logged], "thumbDrawQuery");
    const std::string face = "solid C0C0C0";
    const std::vector<std::pair<Rect, std::string>> expected = {{{0, 0, 20, 14}, face},    {{1, 1, 19, 13}, face},
                                                                {{2, 2, 18, 12}, face},    {{3, 3, 17, 11}, face},
                                                                {{3, 4, 17, 10}, "black"}, {{4, 5, 16, 9}, "white"},
                                                                {{5, 6, 15, 8}, "black"}};
    ASSERT_EQ(d.outlines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Rect& r = d.outlines[i].rect;
        EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}),
                  (std::vector<int32_t>{expected[i].first.left, expected[i].first.top, expected[i].first.right,
                                        expected[i].first.bottom}))
            << i;
        EXPECT_EQ(d.outlines[i].brush, expected[i].second) << i;
    }
    ASSERT_EQ(d.fills.size(), 1u);
    EXPECT_EQ(d.fills[0].brush, "solid FF8001");
    EXPECT_EQ(d.fills[0].rect.left, 5);
    EXPECT_EQ(d.fills[0].rect.bottom, 8);
    EXPECT_EQ(d.brushColors.size(), 2u);
    EXPECT_EQ(d.brushesDeleted, 2);
}

}  // namespace
}  // namespace ui_test
