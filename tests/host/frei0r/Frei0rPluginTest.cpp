// fablix.so as frei0r hosts see it: what it says of itself and its
// parameters, and frames equal to the fablix tool's for the same block, "t"
// and "T".
#include <cmath>
#include <thread>

#include "Frei0rTestHost.h"
#include "Parameters.h"
#include "SettingsSaveLoad.h"

namespace {

constexpr int32_t kWidth = 24, kHeight = 16;

TEST(Frei0rPlugin, DescribesAFilterOnBgraPixels) {
    ASSERT_NE(Plugin().update, nullptr) << "cannot load " << FABLIX_FREI0R_PATH;
    f0r_plugin_info_t info{};
    Plugin().getPluginInfo(&info);
    EXPECT_STREQ(info.name, "Fablix");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    EXPECT_EQ(info.num_params, 16);
}

TEST(Frei0rPlugin, NamesEveryParameterWithItsTypeAndDefault) {
    struct Expected {
        const char* name;
        int type;
        double number;  // for bool and double
    };
    const Expected expected[16] = {
        {"settings", F0R_PARAM_STRING, 0},          {"formula-b", F0R_PARAM_STRING, 0},
        {"formula-g", F0R_PARAM_STRING, 0},         {"formula-r", F0R_PARAM_STRING, 0},
        {"formula-a", F0R_PARAM_STRING, 0},         {"frame-rate", F0R_PARAM_DOUBLE, 0.025},
        {"clip-length", F0R_PARAM_DOUBLE, 0.00025}, {"single-expression", F0R_PARAM_BOOL, 0},
        {"slider-0", F0R_PARAM_DOUBLE, -1},         {"slider-1", F0R_PARAM_DOUBLE, -1},
        {"slider-2", F0R_PARAM_DOUBLE, -1},         {"slider-3", F0R_PARAM_DOUBLE, -1},
        {"slider-4", F0R_PARAM_DOUBLE, -1},         {"slider-5", F0R_PARAM_DOUBLE, -1},
        {"slider-6", F0R_PARAM_DOUBLE, -1},         {"slider-7", F0R_PARAM_DOUBLE, -1},
    };
    PluginInstance instance(8, 8);
    ASSERT_TRUE(instance.Made());
    for (int i = 0; i < 16; ++i) {
        f0r_param_info_t info{};
        Plugin().getParamInfo(&info, i);
        EXPECT_STREQ(info.name, expected[i].name) << i;
        EXPECT_EQ(info.type, expected[i].type) << i;
        ASSERT_NE(info.explanation, nullptr);
        EXPECT_GT(std::strlen(info.explanation), 20u) << i;
        if (info.type == F0R_PARAM_STRING)
            EXPECT_EQ(instance.Text(i), "") << i;
        else
            EXPECT_EQ(instance.Number(i), expected[i].number) << i;
    }
}

TEST(Frei0rPlugin, GivesBackWhatWasSet) {
    PluginInstance instance(8, 8);
    instance.Set(kParamFormula0 + 2, std::string("r*2"));
    instance.Set(kParamSlider0 + 3, 0.75);
    instance.Set(kParamFrameRate, 0.03);
    EXPECT_EQ(instance.Text(kParamFormula0 + 2), "r*2");
    EXPECT_EQ(instance.Number(kParamSlider0 + 3), 0.75);
    EXPECT_EQ(instance.Number(kParamFrameRate), 0.03);
}

TEST(Frei0rPlugin, RefusesFramesOfNoPixels) {
    EXPECT_EQ(Plugin().construct(0, 8), nullptr);
    EXPECT_EQ(Plugin().construct(8, 0), nullptr);
}

// One parameter setting of the plug-in and the tool's options that mean the
// same block, at a host time and the tool's "t" and "T".
struct Case {
    const char* what;
    std::vector<std::pair<int, std::string>> texts;
    std::vector<std::pair<int, double>> numbers;
    double seconds;
    std::vector<std::string> tool;
    int32_t t, total;
};

std::vector<Case> Cases() {
    return {
        {"the editor's default block", {}, {}, 0.0, {}, 0, 249},
        {"formulas over t and T at 25 fps",
         {{kParamFormula0, "t*40"}, {kParamFormula0 + 1, "T"}, {kParamFormula0 + 2, "x*9+y"}},
         {{kParamClipLength, 0.000100}},
         0.12,
         {"-b", "t*40", "-g", "T", "-r", "x*9+y"},
         3,
         99},
        {"FFmpeg's milliseconds",
         {{kParamFormula0, "t"}},
         {{kParamFrameRate, 0.000025}, {kParamClipLength, 0.000004}},
         80.0,
         {"-b", "t"},
         2,
         3},
        {"sliders k/255 are positions k, over 1 is 255, below 0 keeps the default's",
         {{kParamFormula0, "ctl(0)"},
          {kParamFormula0 + 1, "ctl(1)+ctl(2)"},
          {kParamFormula0 + 2, "ctl(3)"},
          {kParamFormula0 + 3, "ctl(7)"}},
         {{kParamSlider0, 1.0 / 255},
          {kParamSlider0 + 1, 0.5},
          {kParamSlider0 + 2, 7.0},
          {kParamSlider0 + 3, 200.0 / 255}},
         0.0,
         {"-b", "ctl(0)", "-g", "ctl(1)+ctl(2)", "-r", "ctl(3)", "-a", "ctl(7)", "--slider", "0=1", "--slider", "1=128",
          "--slider", "2=255", "--slider", "3=200"},
         0,
         249},
        {"maps from slider pairs",
         {{kParamFormula0, "map(0,b)"}, {kParamFormula0 + 1, "map(1,g)"}},
         {{kParamSlider0, 100.0 / 255},
          {kParamSlider0 + 1, 200.0 / 255},
          {kParamSlider0 + 2, 0.0},
          {kParamSlider0 + 3, 1.0}},
         0.0,
         {"-b", "map(0,b)", "-g", "map(1,g)", "--slider", "0=100", "--slider", "1=200", "--slider", "2=0", "--slider",
          "3=255"},
         0,
         249},
        {"single expression",
         {{kParamFormula0 + 3, "x*10+rnd(0,9)"}},
         {{kParamSingle, 1.0}},
         0.2,
         {"-a", "x*10+rnd(0,9)", "--single"},
         5,
         249},
        {"neighbours and polar lookups",
         {{kParamFormula0, "cnv(1,2,1,2,4,2,1,2,1,16)"},
          {kParamFormula0 + 1, "rad(d+64,m,1)"},
          {kParamFormula0 + 2, "src(x+1,y-1,2)"}},
         {},
         0.0,
         {"-b", "cnv(1,2,1,2,4,2,1,2,1,16)", "-g", "rad(d+64,m,1)", "-r", "src(x+1,y-1,2)"},
         0,
         249},
    };
}

TEST(Frei0rPlugin, RendersEachBlockAsTheTool) {
    const Frame source = NumberedFrame(kWidth, kHeight, 1);
    for (const Case& c : Cases()) {
        PluginInstance instance(kWidth, kHeight);
        for (const auto& [index, text] : c.texts) instance.Set(index, text);
        for (const auto& [index, number] : c.numbers) instance.Set(index, number);
        const Frame rendered = instance.Render(source, c.seconds);
        EXPECT_TRUE(SameFrame(rendered, ToolFrame(c.tool, source, c.t, c.total))) << c.what;
    }
}

TEST(Frei0rPlugin, AppliesTheSettingsFileFirstAndTheParametersOnTop) {
    ScratchFolder folder;
    const std::string settings = folder / "warm.fbl";
    FilterParams saved{};
    ASSERT_EQ(LoadDefaultBlock(&saved), kBlockOk);
    const char* formulas[kFormulaCount] = {"b/2", "ctl(1)", "ctl(0)", "ctl(2)"};
    for (int32_t i = 0; i < kFormulaCount; ++i) ASSERT_EQ(SetFormula(&saved, i, formulas[i], "test"), kBlockOk);
    saved.sliderValue[0] = 10;
    saved.sliderValue[1] = 20;
    saved.sliderValue[2] = 30;
    ASSERT_EQ(SaveSettingsFile(settings.c_str(), &saved), 0);
    const Frame source = NumberedFrame(kWidth, kHeight, 0);
    PluginInstance instance(kWidth, kHeight);
    instance.Set(kParamSettings, settings);
    instance.Set(kParamFormula0 + 2, std::string("ctl(0)+1"));
    instance.Set(kParamSlider0 + 1, 99.0 / 255);
    EXPECT_TRUE(SameFrame(instance.Render(source, 0),
                          ToolFrame({"--settings", settings, "-r", "ctl(0)+1", "--slider", "1=99"}, source, 0, 249)));
}

TEST(Frei0rPlugin, ReportsAnUnreadableSettingsFileAndRendersTheDefaultBlock) {
    const Frame source = NumberedFrame(kWidth, kHeight, 0);
    PluginInstance instance(kWidth, kHeight);
    instance.Set(kParamSettings, std::string("/nonexistent/warm.fbl"));
    testing::internal::CaptureStderr();
    const Frame first = instance.Render(source, 0);
    instance.Set(kParamSettings, std::string("/nonexistent/warm.fbl"));  // the same again: no new report
    const Frame second = instance.Render(source, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "fablix: cannot read settings file '/nonexistent/warm.fbl': No such file or directory\n");
    EXPECT_TRUE(SameFrame(first, ToolFrame({}, source, 0, 249)));
    EXPECT_TRUE(SameFrame(second, first));
}

// What the plug-in says of a settings file, once however often it renders
// or is given the same path, in the tool's words.
TEST(Frei0rPlugin, SaysOnceWhatASettingsFileSRulesChangedAndRefusesAHugeOne) {
    const std::string start =
        "%RGB-1.0\r\x03"
        "999\r\x01"
        "2\r\x01"
        "3\r\x01"
        "4\r\x01"
        "5\r\x01"
        "6\r\x01"
        "7\r\x01"
        "8\r";
    struct {
        const char* name;
        std::string contents;
        std::string says;  // after "fablix: "
    } cases[] = {
        {"changed.fbl", start + "b" + std::string(1099, ' ') + "\r\rg\r\rr\r\ra\r\r",
         "note: settings file '{}': slider 0: '999' read as 255; formula 0 cut to 1020 bytes (the file holds 1100; "
         "a formula holds at most 1023)\n"},
        {"huge.fbl", start + std::string(2 << 20, 'b') + "\r\r\r\r\r",
         "cannot read settings file '{}': formulas section, line 10: the file goes on past 1 MiB, far longer than any "
         "settings file\n"},
    };
    const Frame source = NumberedFrame(kWidth, kHeight, 0);
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::string path = folder / c.name;
        folder.WriteFile(c.name, c.contents);
        PluginInstance instance(kWidth, kHeight);
        testing::internal::CaptureStderr();
        instance.Set(kParamSettings, path);
        instance.Render(source, 0);
        instance.Set(kParamSettings, path);
        instance.Set(kParamSlider0 + 1, 0.5);
        instance.Render(source, 0.04);
        const std::string err = testing::internal::GetCapturedStderr();
        std::string says = c.says;
        says.replace(says.find("{}"), 2, path);
        EXPECT_EQ(err, "fablix: " + says) << c.name;
    }
}

TEST(Frei0rPlugin, ReportsAFailedFormulaOnceAsCompileDoesAndRendersItsChannelAsZero) {
    const Frame source = NumberedFrame(kWidth, kHeight, 0);
    PluginInstance instance(kWidth, kHeight);
    instance.Set(kParamFormula0 + 1, std::string("g+(1"));
    testing::internal::CaptureStderr();
    const Frame first = instance.Render(source, 0);
    instance.Set(kParamFormula0 + 1, std::string("g+(1"));
    instance.Set(kParamSlider0, 0.5);  // a new block, the same formulas: no new report
    instance.Render(source, 0.04);
    const std::string err = testing::internal::GetCapturedStderr();

    ScratchFolder folder;
    const std::string out = folder / "compile.txt";
    std::system((std::string(FABLIX_PATH) + " compile -g 'g+(1' >'" + out + "'").c_str());
    EXPECT_EQ(err, ReadWholeFile(out));
    EXPECT_NE(err.find("formula 1 (channel G)"), std::string::npos) << err;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) ASSERT_EQ(PixelAt(first, x, y)[1], 0) << x << "," << y;
    EXPECT_TRUE(SameFrame(first, ToolFrame({"-g", "g+(1"}, source, 0, 249)));
}

TEST(Frei0rPlugin, RefusesAFormulaTooLongForItsSlotAndKeepsTheDefaults) {
    const Frame source = NumberedFrame(kWidth, kHeight, 0);
    PluginInstance instance(kWidth, kHeight);
    testing::internal::CaptureStderr();
    instance.Set(kParamFormula0, std::string(1024, '1'));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "fablix: parameter formula-b holds 1024 bytes; a formula holds at most 1023\n");
    EXPECT_TRUE(SameFrame(instance.Render(source, 0), ToolFrame({}, source, 0, 249)));
}

TEST(Frei0rPlugin, FollowsParameterChangesBetweenFrames) {
    const Frame source = NumberedFrame(kWidth, kHeight, 2);
    PluginInstance instance(kWidth, kHeight);
    instance.Set(kParamFormula0, std::string("ctl(0)"));
    instance.Set(kParamSlider0, 0.2);
    EXPECT_TRUE(SameFrame(instance.Render(source, 0), ToolFrame({"-b", "ctl(0)", "--slider", "0=51"}, source, 0, 249)));
    instance.Set(kParamSlider0, 0.4);
    EXPECT_TRUE(
        SameFrame(instance.Render(source, 0), ToolFrame({"-b", "ctl(0)", "--slider", "0=102"}, source, 0, 249)));
    instance.Set(kParamFormula0, std::string("ctl(0)/2+t"));
    instance.Set(kParamSingle, 1.0);
    instance.Set(kParamSingle, 0.0);
    EXPECT_TRUE(
        SameFrame(instance.Render(source, 0.4), ToolFrame({"-b", "ctl(0)/2+t", "--slider", "0=102"}, source, 10, 249)));
    instance.Set(kParamFormula0, std::string(""));  // empty: the default's formula again
    EXPECT_TRUE(SameFrame(instance.Render(source, 0), ToolFrame({"--slider", "0=102"}, source, 0, 249)));
}

TEST(Frei0rPlugin, RunsManyInstancesOfDifferentSizesSideBySide) {
    // Frame size changes reach a frei0r plug-in as new instances: three
    // sizes at once, updated in turn, each rendering its own block.
    struct Sized {
        int32_t width, height;
        const char* formula;
    };
    const Sized sizes[] = {{24, 16, "x*7+t"}, {8, 40, "y*5+t"}, {64, 8, "cnv(1,1,1,1,1,1,1,1,1,9)+t"}};
    std::vector<std::unique_ptr<PluginInstance>> instances;
    for (const Sized& s : sizes) {
        instances.push_back(std::make_unique<PluginInstance>(s.width, s.height));
        instances.back()->Set(kParamFormula0 + 2, std::string(s.formula));
    }
    for (int32_t frame = 0; frame < 3; ++frame)
        for (size_t i = 0; i < instances.size(); ++i) {
            const Frame source = NumberedFrame(sizes[i].width, sizes[i].height, frame);
            EXPECT_TRUE(SameFrame(instances[i]->Render(source, frame / 25.0),
                                  ToolFrame({"-r", sizes[i].formula}, source, frame, 249)))
                << sizes[i].width << "x" << sizes[i].height << " frame " << frame;
        }
}

TEST(Frei0rPlugin, RendersOnSeveralThreadsAtOnce) {
    // Instances share nothing: four threads, each with its own instance,
    // render at the same time what the tool renders for each alone.
    const char* formulas[] = {"x*3+t", "rnd(0,255)", "rad(d+t*16,m,p)", "cnv(1,1,1,1,1,1,1,1,1,9)+put(t,1)"};
    constexpr int32_t kFrames = 4;
    std::vector<Frame> sources, expected;
    for (int32_t frame = 0; frame < kFrames; ++frame) sources.push_back(NumberedFrame(kWidth, kHeight, frame));
    for (const char* formula : formulas)
        for (int32_t frame = 0; frame < kFrames; ++frame)
            expected.push_back(ToolFrame({"-g", formula}, sources[size_t(frame)], frame, 249));
    std::vector<int32_t> matches(std::size(formulas), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(formulas); ++i)
        threads.emplace_back([&, i] {
            PluginInstance instance(kWidth, kHeight);
            instance.Set(kParamFormula0 + 1, std::string(formulas[i]));
            for (int32_t frame = 0; frame < kFrames; ++frame)
                matches[i] += SameFrame(instance.Render(sources[size_t(frame)], frame * 0.04),
                                        expected[i * kFrames + size_t(frame)]);
        });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < std::size(formulas); ++i) EXPECT_EQ(matches[i], kFrames) << formulas[i];
}

TEST(Frei0rPlugin, RendersInPlaceAsIntoAFrameOfItsOwn) {
    const Frame source = NumberedFrame(kWidth, kHeight, 3);
    const std::string blur = "cnv(1,2,1,2,4,2,1,2,1,16)";
    PluginInstance separate(kWidth, kHeight), inPlace(kWidth, kHeight);
    separate.Set(kParamFormula0, blur);
    inPlace.Set(kParamFormula0, blur);
    Frame frame = source;
    inPlace.RenderInPlace(frame, 0);
    EXPECT_TRUE(SameFrame(frame, separate.Render(source, 0)));
}

}  // namespace
