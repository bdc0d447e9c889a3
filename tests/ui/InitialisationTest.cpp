// Opening the settings dialog: the Cancel copy, the sliders made in place
// of their placeholders, the preview's layout, the controls filled from the
// block, the compact dialog's rule, the compile, the caption and the timer.
#include "DialogTestSupport.h"

namespace ui_test {
namespace {

size_t Position(const HeadlessDialog& d, const std::string& operation) {
    for (size_t i = 0; i < d.log.size(); ++i)
        if (d.log[i].compare(0, operation.size(), operation) == 0) return i;
    return d.log.size();
}

TEST(Initialisation, FillsTheFullDialogFromTheBlock) {
    Session s(EditorBlock(), false, 70000);
    s.State()->animate = 1;
    s.State()->previewDirty = 0;
    s.State()->recompileNeeded = 1;
    s.Open();
    HeadlessDialog& d = s.dialog;
    const FilterParams& p = s.Params();

    EXPECT_EQ(d.data, reinterpret_cast<RvHandle>(&s.contextAddress));
    EXPECT_EQ(std::memcmp(&d.memory.cancelCopy, &p, sizeof p), 0);

    // The frame slider: the host's painter, the low 16 bits of total, at 0.
    const Control& frame = d.At(IDC_PREVIEW_SLIDER);
    EXPECT_EQ(frame.kind, Kind::Slider);
    EXPECT_EQ(frame.style, uint32_t{kPreviewSliderStyle});
    EXPECT_EQ(frame.painter, reinterpret_cast<intptr_t>(HeadlessDialog::Port().hostThumbPainter));
    EXPECT_EQ(frame.rangeMin, 0);
    EXPECT_EQ(frame.rangeMax, 70000 & 0xFFFF);
    EXPECT_EQ(frame.position, 0);

    for (int32_t k = 0; k < kSliderCount; ++k) {
        EXPECT_FALSE(d.Has(IDC_SLIDER_PLACEHOLDER_0 + k)) << k;
        const Control& slider = d.At(IDC_SLIDER_0 + k);
        EXPECT_EQ(slider.style, uint32_t{kParameterSliderStyle}) << k;
        EXPECT_EQ(slider.painter, reinterpret_cast<intptr_t>(HeadlessDialog::Port().ownThumbPainter)) << k;
        EXPECT_EQ(slider.rangeMax, 255) << k;
        EXPECT_EQ(slider.position, int32_t{p.sliderValue[k]}) << k;
        EXPECT_EQ(d.At(IDC_SLIDER_VALUE_0 + k).text, std::to_string(int32_t{p.sliderValue[k]})) << k;
        EXPECT_FALSE(d.Visible(IDC_SLIDER_NAME_0 + k)) << k;  // names only in the compact dialog
    }
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        EXPECT_EQ(s.Field(i).text, p.formula[i]) << i;
        EXPECT_TRUE(s.Field(i).visible) << i;
    }
    EXPECT_FALSE(d.At(IDC_SINGLE_EXPRESSION).checked);
    EXPECT_TRUE(d.Visible(IDC_FORMULA_LABEL_3));

    // Compiled: the flags of a compile, and no failure in the editor's block.
    EXPECT_EQ(int32_t{s.State()->recompileNeeded}, 0);
    EXPECT_EQ(int32_t{s.State()->previewDirty}, 1);
    for (int32_t i = 0; i < kFormulaCount; ++i) EXPECT_EQ(int32_t{s.State()->compileFailed[i]}, 0) << i;

    EXPECT_EQ(d.caption, "Custom:Fablix Settings");
    EXPECT_EQ(d.prepared, 1);
    EXPECT_EQ(d.timerPeriod, 250);
    EXPECT_EQ(int32_t{s.State()->animate}, 0);
    EXPECT_TRUE(d.boxes.empty());
    EXPECT_TRUE(d.drawings.empty());  // the first paint comes with the first tick

    // The steps' order: sliders, then the compile's caption, the prepare and the timer last.
    EXPECT_LT(Position(d, "replaceBySlider 409"), Position(d, "replaceBySlider 1401"));
    EXPECT_LT(Position(d, "replaceBySlider 1408"), Position(d, "setText 201"));
    EXPECT_LT(Position(d, "setCaption"), Position(d, "prepareDialog"));
    EXPECT_LT(Position(d, "prepareDialog"), Position(d, "startTimer"));
}

TEST(Initialisation, LaysOutThePreviewAgainstTheRightEdge) {
    for (bool compact : {false, true}) {
        Session s(compact ? BuiltBlock({}, {0}) : EditorBlock(), compact);
        const Rect placeholder = s.dialog.At(IDC_PREVIEW_SLIDER).rect;
        const Rect box = s.dialog.At(IDC_ANIMATE).rect;
        s.Open();
        HeadlessDialog& d = s.dialog;
        const Rect frame = d.At(IDC_PREVIEW).rect;
        EXPECT_TRUE(d.At(IDC_PREVIEW).visible);
        EXPECT_EQ(frame.right, d.client.right - 6) << compact;
        EXPECT_EQ(frame.top, 8);
        EXPECT_EQ(frame.right - frame.left, 160);
        EXPECT_EQ(frame.bottom - frame.top, 120);
        const Rect slider = d.At(IDC_PREVIEW_SLIDER).rect;
        EXPECT_EQ(slider.left, frame.left);
        EXPECT_EQ(slider.top, frame.bottom + 4);
        EXPECT_EQ(slider.right - slider.left, 160);
        EXPECT_EQ(slider.bottom - slider.top, placeholder.bottom - placeholder.top);
        const Rect animate = d.At(IDC_ANIMATE).rect;
        EXPECT_EQ(animate.right, d.client.right - 10) << compact;
        EXPECT_EQ(animate.top, slider.bottom + 7);
        EXPECT_EQ(animate.right - animate.left, box.right - box.left);
        EXPECT_EQ(animate.bottom - animate.top, box.bottom - box.top);
    }
}

// A slider that cannot be made is reported once and left out; the others
// and the rest of the dialog are made as usual.
TEST(Initialisation, ASliderThatCannotBeMadeIsReportedAndLeftOut) {
    Session s(EditorBlock());
    s.dialog.failingSliders = {IDC_PREVIEW_SLIDER, IDC_SLIDER_0 + 2};
    s.Open();
    HeadlessDialog& d = s.dialog;
    ASSERT_EQ(d.boxes.size(), 2u);
    for (const MessageBoxShown& box : d.boxes) {
        EXPECT_TRUE(box.error);
        EXPECT_EQ(box.text, Message(IDS_CREATE_DIALOG_FAILED));
        EXPECT_EQ(box.caption, "Custom:Fablix");
    }
    EXPECT_FALSE(d.Has(IDC_PREVIEW_SLIDER));
    EXPECT_FALSE(d.Has(IDC_SLIDER_0 + 2));
    // Nothing set on a slider that is not there.
    EXPECT_EQ(d.Count("send 403 32982"), 0);
    EXPECT_EQ(d.Count("send 403 32990"), 0);
    EXPECT_EQ(d.Count("send 409 32986"), 0);
    EXPECT_EQ(d.At(IDC_SLIDER_0 + 3).position, int32_t{s.Params().sliderValue[3]});
    EXPECT_EQ(d.caption, "Custom:Fablix Settings");
    EXPECT_EQ(d.timerPeriod, 250);
}

// "%s Settings" holds 255 characters: a longer title is cut to fit.
TEST(Initialisation, ATitleTooLongForTheCaptionIsCut) {
    struct Case {
        size_t titleLength;
        size_t shown;
    };
    const Case cases[] = {{0, 0}, {246, 246}, {247, 246}, {255, 246}};
    for (const Case& c : cases) {
        FilterParams params = EditorBlock();
        std::memset(params.title, 'T', sizeof params.title);
        params.title[c.titleLength] = 0;
        Session s(params);
        s.Open();
        EXPECT_EQ(s.dialog.caption, std::string(c.shown, 'T') + " Settings") << c.titleLength;
    }
    // A title slot without its terminator is read no further than the slot.
    FilterParams params = EditorBlock();
    std::memset(params.title, 'U', sizeof params.title);
    Session s(params);
    s.Open();
    EXPECT_EQ(s.dialog.caption, std::string(246, 'U') + " Settings");
}

TEST(Initialisation, FormatCaptionFillsTheSlotOrKeepsAFormatWithoutOne) {
    struct Case {
        const char* format;
        const char* title;
        int32_t capacity;
        const char* caption;
    };
    const Case cases[] = {
        {"%s Settings", "Blur", 256, "Blur Settings"},       {"Settings of %s!", "Blur", 256, "Settings of Blur!"},
        {"%s Settings", "Blurry", 12, "Bl Settings"},        {"No slot", "Blur", 256, "No slot"},
        {"%s Settings %d", "Blur", 256, "Blur Settings %d"},
    };
    for (const Case& c : cases) {
        char caption[256];
        FormatCaption(c.format, c.title, caption, c.capacity);
        EXPECT_STREQ(caption, c.caption) << c.format;
    }
}

// The compact dialog keeps exactly the sliders of enabled maps and
// enabled sliders; an enabled map names its two sliders with one label.
TEST(Initialisation, TheCompactRuleKeepsWhatTheAuthorEnabled) {
    struct Case {
        std::vector<int32_t> maps, sliders;
        std::vector<int32_t> kept;       // sliders that stay
        std::vector<int32_t> named;      // sliders shown under their own name
        std::vector<int32_t> mapLabels;  // maps shown
    };
    const Case cases[] = {
        {{1}, {2}, {2, 3}, {}, {1}},
        {{}, {5}, {5}, {5}, {}},
        {{0, 3}, {1, 4}, {0, 1, 4, 6, 7}, {4}, {0, 3}},
        {{}, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        Session s(BuiltBlock(c.maps, c.sliders), true);
        s.Open();
        HeadlessDialog& d = s.dialog;
        auto in = [](const std::vector<int32_t>& list, int32_t v) {
            return std::find(list.begin(), list.end(), v) != list.end();
        };
        for (int32_t k = 0; k < kSliderCount; ++k) {
            const bool kept = in(c.kept, k);
            EXPECT_EQ(d.Has(IDC_SLIDER_0 + k), kept) << k;
            EXPECT_EQ(d.Visible(IDC_SLIDER_VALUE_0 + k), kept) << k;
            EXPECT_EQ(d.Visible(IDC_SLIDER_NAME_0 + k), in(c.named, k)) << k;
            if (in(c.named, k)) {
                EXPECT_EQ(d.At(IDC_SLIDER_NAME_0 + k).text, "Knob " + std::to_string(k));
            }
            if (kept) {
                EXPECT_EQ(d.At(IDC_SLIDER_0 + k).position, int32_t{s.Params().sliderValue[k]});
            }
        }
        for (int32_t i = 0; i < kMapCount; ++i) {
            EXPECT_EQ(d.Visible(IDC_MAP_NAME_0 + i), in(c.mapLabels, i)) << i;
            if (in(c.mapLabels, i)) {
                EXPECT_EQ(d.At(IDC_MAP_NAME_0 + i).text, "Tone " + std::to_string(i));
            }
        }
        EXPECT_EQ(d.At(IDC_AUTHOR).text, "Ada's filters");
        EXPECT_TRUE(d.boxes.empty());
    }
}

// Names and the author are read no further than their slots.
TEST(Initialisation, UnterminatedNamesAreCutAtTheirSlot) {
    FilterParams params = BuiltBlock({2}, {0});
    std::memset(params.mapName[2], 'M', kTextSlotSize);
    std::memset(params.sliderName[0], 'S', kTextSlotSize);
    std::memset(params.author, 'W', kTextSlotSize);
    Session s(params, true);
    s.Open();
    EXPECT_EQ(s.dialog.At(IDC_MAP_NAME_0 + 2).text, std::string(kTextSlotSize - 1, 'M'));
    EXPECT_EQ(s.dialog.At(IDC_SLIDER_NAME_0).text, std::string(kTextSlotSize - 1, 'S'));
    EXPECT_EQ(s.dialog.At(IDC_AUTHOR).text, std::string(kTextSlotSize - 1, 'W'));
}

TEST(Initialisation, SingleExpressionHidesTheOtherFormulasAndTheirLabels) {
    FilterParams params = EditorBlock();
    params.singleExpression = 1;
    Session s(params);
    s.Open();
    HeadlessDialog& d = s.dialog;
    EXPECT_TRUE(d.At(IDC_SINGLE_EXPRESSION).checked);
    for (int32_t id : {201, 202, 203, 143, 144, 145, 146}) EXPECT_FALSE(d.Visible(id)) << id;
    EXPECT_TRUE(d.Visible(IDC_FORMULA_0 + 3));
}

}  // namespace
}  // namespace ui_test
