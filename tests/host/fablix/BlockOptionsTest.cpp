// The block options in-process: the order they apply in, formula files
// byte for byte, the text `show` prints, and frame ranges.
#include <cstring>
#include <memory>

#include "BlockText.h"
#include "FrameRange.h"
#include "BlockArguments.h"
#include "Channels.h"
#include "ExitCodes.h"
#include "SettingsSaveLoad.h"
#include "ToolTestSupport.h"

namespace {

// Reads `items` as block options and builds the block; kExitUsage when one
// is refused, or BuildBlock's status.
int32_t BuildFrom(const std::vector<std::string>& items, FilterParams* params) {
    Arguments args;
    args.items = items;
    BlockOptions options;
    while (!args.Done())
        if (TakeBlockOption(args, &options) != kOptionTaken) return kExitUsage;
    return BlockExitCode(BuildBlock(options, params));
}

std::string Slot(const FilterParams& params, int32_t index) {
    return std::string(params.formula[index], strnlen(params.formula[index], kFormulaSlotSize));
}

// A settings file with sliders 1..8 and formulas "s0".."s3".
std::string WriteSettings(const ScratchFolder& folder) {
    auto params = std::make_unique<FilterParams>();
    for (int32_t k = 0; k < kSliderCount; ++k) params->sliderValue[k] = k + 1;
    for (int32_t i = 0; i < kFormulaCount; ++i) SetFormula(params.get(), i, "s" + std::to_string(i), "test");
    const std::string path = folder / "block.fbl";
    EXPECT_EQ(SaveSettingsFile(path.c_str(), params.get()), 0);
    return path;
}

TEST(BlockOrder, WithoutOptionsIsTheDefaultBlock) {
    auto built = std::make_unique<FilterParams>();
    auto expected = std::make_unique<FilterParams>();
    ASSERT_EQ(BuildFrom({}, built.get()), kExitOk);
    ASSERT_EQ(LoadDefaultBlock(expected.get()), kBlockOk);
    EXPECT_EQ(std::memcmp(built.get(), expected.get(), sizeof(FilterParams)), 0);
    EXPECT_EQ(Slot(*built, 3), "a");
    EXPECT_EQ(built->sliderValue[0], 21);
}

TEST(BlockOrder, SettingsApplyFirstWhereverTheyStand) {
    ScratchFolder folder;
    const std::string path = WriteSettings(folder);
    for (const auto& items : {std::vector<std::string>{"-g", "77", "--slider", "2=200", "--settings", path},
                              std::vector<std::string>{"--settings", path, "-g", "77", "--slider", "2=200"}}) {
        auto params = std::make_unique<FilterParams>();
        ASSERT_EQ(BuildFrom(items, params.get()), kExitOk);
        EXPECT_EQ(Slot(*params, 0), "s0");
        EXPECT_EQ(Slot(*params, 1), "77");
        EXPECT_EQ(Slot(*params, 2), "s2");
        EXPECT_EQ(Slot(*params, 3), "s3");
        const int32_t sliders[kSliderCount] = {1, 2, 200, 4, 5, 6, 7, 8};
        for (int32_t k = 0; k < kSliderCount; ++k) EXPECT_EQ(params->sliderValue[k], sliders[k]) << k;
        EXPECT_EQ(params->singleExpression, 0);
    }
}

TEST(BlockOrder, LaterEditsWinOverEarlierOnes) {
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(BuildFrom({"-r", "1", "--slider", "0=5", "-r", "2", "--slider", "0=6", "--single"}, params.get()),
              kExitOk);
    EXPECT_EQ(Slot(*params, 2), "2");
    EXPECT_EQ(params->sliderValue[0], 6);
    EXPECT_EQ(params->singleExpression, 1);
}

// --plain is an edit at its place: it puts the identity formulas in all four
// slots and turns single expression mode off; a settings file still comes
// first, so its sliders stay whichever side of --plain it stands.
TEST(BlockOrder, PlainIsTheIdentityAtItsPlace) {
    ScratchFolder folder;
    const std::string path = WriteSettings(folder);
    struct Case {
        std::vector<std::string> items;
        const char* formulas[kFormulaCount];
        int32_t single;
        int32_t slider0;
    };
    const Case cases[] = {
        {{"--plain"}, {"b", "g", "r", "a"}, 0, 21},
        {{"--plain", "-r", "255"}, {"b", "g", "255", "a"}, 0, 21},
        {{"-r", "255", "--plain"}, {"b", "g", "r", "a"}, 0, 21},
        {{"--single", "--plain"}, {"b", "g", "r", "a"}, 0, 21},
        {{"--plain", "--single"}, {"b", "g", "r", "a"}, 1, 21},
        {{"--settings", path, "--plain"}, {"b", "g", "r", "a"}, 0, 1},
        {{"--plain", "--settings", path}, {"b", "g", "r", "a"}, 0, 1},
        {{"--plain", "--settings", path, "-g", "s1", "--slider", "0=9"}, {"b", "s1", "r", "a"}, 0, 9},
    };
    for (const Case& c : cases) {
        auto params = std::make_unique<FilterParams>();
        ASSERT_EQ(BuildFrom(c.items, params.get()), kExitOk) << c.items.size();
        for (int32_t i = 0; i < kFormulaCount; ++i) EXPECT_EQ(Slot(*params, i), c.formulas[i]) << c.items[0] << i;
        EXPECT_EQ(params->singleExpression, c.single) << c.items[0];
        EXPECT_EQ(params->sliderValue[0], c.slider0) << c.items[0];
        for (size_t k = 2; k < kFormulaSlotSize; ++k) ASSERT_EQ(params->formula[0][k], 0) << k;
    }
}

TEST(BlockOrder, ALongerFormulaIsFullyReplaced) {
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(BuildFrom({"-b", "x"}, params.get()), kExitOk);
    EXPECT_EQ(Slot(*params, 0), "x");
    for (size_t i = 1; i < kFormulaSlotSize; ++i) ASSERT_EQ(params->formula[0][i], 0) << i;
}

TEST(FormulaFile, TakesEveryByteFrom1To255AsItStands) {
    ScratchFolder folder;
    std::string bytes;
    for (int c = 1; c <= 255; ++c) bytes += static_cast<char>(c);
    folder.WriteFile("all.txt", bytes);
    folder.WriteFile("crlf.txt", "r\r\n+1\r");
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(BuildFrom({"--formula-file", "a=" + (folder / "all.txt"), "--formula-file", "b=" + (folder / "crlf.txt")},
                        params.get()),
              kExitOk);
    EXPECT_EQ(Slot(*params, 3), bytes);
    EXPECT_EQ(Slot(*params, 0), "r\r\n+1\r");
}

TEST(FormulaFile, Of1023BytesFitsAndOf1024DoesNot) {
    ScratchFolder folder;
    folder.WriteFile("fits.txt", std::string(1023, '7'));
    folder.WriteFile("over.txt", std::string(1024, '7'));
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(BuildFrom({"--formula-file", "g=" + (folder / "fits.txt")}, params.get()), kExitOk);
    EXPECT_EQ(Slot(*params, 1), std::string(1023, '7'));
    EXPECT_EQ(params->formula[1][1023], 0);
    EXPECT_EQ(BuildFrom({"--formula-file", "g=" + (folder / "over.txt")}, params.get()), kExitUsage);
}

TEST(FormulaFile, AnEmptyFileGivesAnEmptyFormula) {
    ScratchFolder folder;
    folder.WriteFile("empty.txt", "");
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(BuildFrom({"--formula-file", "r=" + (folder / "empty.txt")}, params.get()), kExitOk);
    EXPECT_EQ(Slot(*params, 2), "");
}

TEST(BlockOptionKinds, OtherArgumentsAreLeftToTheCommand) {
    Arguments args;
    args.items = {"--json", "-x", "out.png"};
    BlockOptions options;
    for (size_t i = 0; i < args.items.size(); ++i) {
        args.next = i;
        EXPECT_EQ(TakeBlockOption(args, &options), kNotThisOption) << args.items[i];
        EXPECT_EQ(args.next, i) << "consumed " << args.items[i];
    }
    EXPECT_TRUE(options.edits.empty());
}

struct ReadableCase {
    std::string slot;
    std::string shown;
};

TEST(ReadableFormula, EscapesWhatATerminalWouldNotShowPlainly) {
    const ReadableCase cases[] = {
        {"x+y*2", "x+y*2"},
        {"a\tb", "a\\tb"},
        {"r\r\n+1", "r\\r\\n+1"},
        {"\\", "\\\\"},
        {std::string("\x01\x1b\x7f\x80\xff", 5), "\\x01\\x1B\\x7F\\x80\\xFF"},
        {"\"'", "\"'"},
        {"", ""},
    };
    for (const ReadableCase& c : cases) {
        char slot[kFormulaSlotSize] = {};
        std::memcpy(slot, c.slot.data(), c.slot.size());
        EXPECT_EQ(ReadableFormula(slot), c.shown) << c.slot;
    }
}

TEST(ReadableFormula, StopsAtTheEndOfASlotWithoutTerminator) {
    char slot[kFormulaSlotSize];
    std::memset(slot, 'x', sizeof slot);
    EXPECT_EQ(ReadableFormula(slot), std::string(kFormulaSlotSize, 'x'));
}

TEST(BlockText, ShowsFormulasWithChannelAndIndexThenSliders) {
    auto params = std::make_unique<FilterParams>();
    const char* formulas[kFormulaCount] = {"b", "", "r\r\n", "a"};
    for (int32_t i = 0; i < kFormulaCount; ++i) SetFormula(params.get(), i, formulas[i], "test");
    const int32_t sliders[kSliderCount] = {0, 1, 22, 255, 4, 5, 6, 7};
    std::memcpy(params->sliderValue, sliders, sizeof sliders);
    params->singleExpression = 1;
    EXPECT_EQ(BlockText(*params),
              "formulas:\n"
              "  B (0): b\n"
              "  G (1): (empty)\n"
              "  R (2): r\\r\\n\n"
              "  A (3): a\n"
              "sliders: 0=0 1=1 2=22 3=255 4=4 5=5 6=6 7=7\n"
              "single expression: on\n");
}

struct RangeCase {
    const char* text;
    bool parses;
    int32_t first, last;
};

TEST(FrameRangeText, ReadsBothEndsIncluded) {
    const RangeCase cases[] = {
        {"0:0", true, 0, 0},    {"2:5", true, 2, 5},   {"3", true, 3, 3},     {"4:", true, 4, -1},
        {":6", true, 0, 6},     {"5:2", false, 0, 0},  {"-1:2", false, 0, 0}, {"1:-2", false, 0, 0},
        {":", false, 0, 0},     {"", false, 0, 0},     {"a:b", false, 0, 0},  {"1:2:3", false, 0, 0},
        {"1.5:2", false, 0, 0}, {" 1:2", false, 0, 0}, {"1:2x", false, 0, 0}, {"99999999999:1", false, 0, 0},
    };
    for (const RangeCase& c : cases) {
        FrameRange range{-7, -7};
        EXPECT_EQ(ParseFrameRange(c.text, &range), c.parses) << c.text;
        if (c.parses) {
            EXPECT_EQ(range.first, c.first) << c.text;
            EXPECT_EQ(range.last, c.last) << c.text;
        } else {
            EXPECT_EQ(range.first, -7) << "changed by " << c.text;
        }
    }
}

TEST(FrameRangeFit, SettlesTheOpenEndAndRefusesFramesPastTheClip) {
    FrameRange open{4, -1};
    std::string message;
    ASSERT_TRUE(FitFrameRange(&open, 10, &message));
    EXPECT_EQ(open.last, 9);
    FrameRange whole{0, 9};
    EXPECT_TRUE(FitFrameRange(&whole, 10, &message));
    FrameRange past{8, 10};
    EXPECT_FALSE(FitFrameRange(&past, 10, &message));
    EXPECT_EQ(message, "--frames 8:10 reaches past the last frame; the clip has frames 0 to 9");
    FrameRange startPast{12, -1};
    EXPECT_FALSE(FitFrameRange(&startPast, 10, &message));
    EXPECT_EQ(message, "--frames 12: reaches past the last frame; the clip has frames 0 to 9");
}

}  // namespace
