// Plug-ins written by `fablix build --frei0r`, loaded as a host loads them:
// their name, author and parameters (the controls the author enabled, under
// the author's names), and frames equal to the tool's for the same block
// with the sliders the parameters set.
#include "Frei0rTestHost.h"

namespace {

constexpr int32_t kWidth = 24, kHeight = 16;

// The block both the plug-in and the tool render.
const std::vector<std::string> kBlock = {
    "-b",   "b+ctl(0)-ctl(5)+t", "-g",   "map(1,g)", "-r",   "r+rnd(0,ctl(2))", "--slider",
    "0=10", "--slider",          "2=20", "--slider", "3=30", "--slider",        "5=50"};

std::vector<std::string> Joined(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

std::string Quoted(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) line += " '" + word + "'";
    return line;
}

// Builds `name`.so in `folder` from kBlock and `options` with the tool; the
// loaded plug-in, all nullptr when that failed.
Frei0rPlugin BuildAndLoad(const ScratchFolder& folder, const std::string& name,
                          const std::vector<std::string>& options) {
    const std::string path = folder / (name + ".so");
    const std::string command =
        std::string(FABLIX_PATH) + " build --frei0r" + Quoted(kBlock) + Quoted(options) + " '" + path + "' >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return LoadFrei0rPlugin(path);
}

struct ParamSeen {
    std::string name;
    int type;
};

std::vector<ParamSeen> Params(const Frei0rPlugin& plugin, int count) {
    std::vector<ParamSeen> seen;
    for (int i = 0; i < count; ++i) {
        f0r_param_info_t info{};
        plugin.getParamInfo(&info, i);
        seen.push_back({info.name ? info.name : "(null)", info.type});
    }
    return seen;
}

bool operator==(const ParamSeen& a, const ParamSeen& b) { return a.name == b.name && a.type == b.type; }

TEST(BuiltFrei0rPlugin, OffersTheEnabledControlsUnderTheAuthorsNames) {
    ScratchFolder folder;
    const Frei0rPlugin plugin =
        BuildAndLoad(folder, "Grain",
                     {"--title", "Fx:Grain", "--author", "Me", "--enable", "slider5,map1,slider0", "--slider-name",
                      "0=Amount", "--map", "1=Curve", "--slider-name", "5=Amount"});
    ASSERT_NE(plugin.update, nullptr);
    f0r_plugin_info_t info{};
    plugin.getPluginInfo(&info);
    EXPECT_STREQ(info.name, "Fx:Grain");
    EXPECT_STREQ(info.author, "Me");
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    ASSERT_EQ(info.num_params, 4);
    // In the compact dialog's row order, the map as its two sliders; the
    // second "Amount" takes its plain name.
    const std::vector<ParamSeen> expected = {{"Amount", F0R_PARAM_DOUBLE},
                                             {"Curve 1", F0R_PARAM_DOUBLE},
                                             {"Curve 2", F0R_PARAM_DOUBLE},
                                             {"slider-5", F0R_PARAM_DOUBLE}};
    EXPECT_EQ(Params(plugin, 4), expected);

    PluginInstance instance(kWidth, kHeight, plugin);
    ASSERT_TRUE(instance.Made());
    const double defaults[] = {10.0 / 255, 20.0 / 255, 30.0 / 255, 50.0 / 255};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(instance.Number(i), defaults[i]) << i;

    const Frame source = NumberedFrame(kWidth, kHeight, 1);
    EXPECT_TRUE(SameFrame(instance.Render(source, 0.12), ToolFrame(kBlock, source, 3, 249))) << "the block's sliders";
    instance.Set(0, 0.4);
    instance.Set(1, 1.0);
    instance.Set(2, 0.2);
    EXPECT_EQ(instance.Number(2), 0.2);
    const std::vector<std::string> set = {"--slider", "0=102", "--slider", "2=255", "--slider", "3=51"};
    EXPECT_TRUE(SameFrame(instance.Render(source, 0.2), ToolFrame(Joined(kBlock, set), source, 5, 249)))
        << "sliders set through the parameters";

    // The editor, loaded in the same process, is still the editor.
    f0r_plugin_info_t editor{};
    Plugin().getPluginInfo(&editor);
    EXPECT_STREQ(editor.name, "Fablix");
    EXPECT_EQ(editor.num_params, 16);
}

TEST(BuiltFrei0rPlugin, WithoutControlsHasNoParameters) {
    ScratchFolder folder;
    const Frei0rPlugin plugin = BuildAndLoad(folder, "Fixed", {"--title", "Fx:Fixed", "--enable", ""});
    ASSERT_NE(plugin.update, nullptr);
    f0r_plugin_info_t info{};
    plugin.getPluginInfo(&info);
    EXPECT_STREQ(info.name, "Fx:Fixed");
    EXPECT_EQ(info.num_params, 0);
    f0r_param_info_t param{"untouched", 7, "untouched"};
    plugin.getParamInfo(&param, 0);
    EXPECT_STREQ(param.name, "untouched");

    PluginInstance instance(kWidth, kHeight, plugin);
    const Frame source = NumberedFrame(kWidth, kHeight, 2);
    instance.Set(0, 1.0);  // no such parameter: ignored
    EXPECT_TRUE(SameFrame(instance.Render(source, 0.04), ToolFrame(kBlock, source, 1, 249)));
}

}  // namespace
