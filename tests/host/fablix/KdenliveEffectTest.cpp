// The Kdenlive effect descriptions: written beside a built frei0r plug-in
// (or into --kdenlive DIR), well-formed XML (xmllint), one parameter per
// frei0r parameter with the ranges Kdenlive shows; and the editor
// plug-in's, made at build time from fablix.so.
#include "KdenliveEffect.h"
#include "ToolTestSupport.h"

namespace {

// What xmllint prints for an XPath expression over `path` (its exit code
// in `status`).
std::string XPath(const std::string& path, const std::string& expression, int* status = nullptr) {
    const std::string out = path + ".xpath-" + std::to_string(long(getpid()));
    const std::string command =
        "xmllint --xpath " + ShellWord(expression) + " " + ShellWord(path) + " >" + ShellWord(out) + " 2>/dev/null";
    const int result = std::system(command.c_str());
    if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    std::string text = ReadWholeFile(out);
    std::remove(out.c_str());
    if (!text.empty() && text.back() == '\n') text.pop_back();  // xmllint ends its answer with a line feed
    return text;
}

bool WellFormed(const std::string& path) {
    return std::system(("xmllint --noout " + ShellWord(path) + " 2>/dev/null").c_str()) == 0;
}

struct ParameterCase {
    const char* name;  // frei0r index
    const char* shown;
    const char* type;
    const char* defaultValue;
    const char* min;
    const char* max;
    const char* factor;  // "" where there is none
};

void ExpectParameters(const std::string& path, const std::vector<ParameterCase>& cases) {
    EXPECT_EQ(XPath(path, "count(//effect/parameter)"), std::to_string(cases.size()));
    for (const ParameterCase& c : cases) {
        const std::string at = std::string("//effect/parameter[@name='") + c.name + "']";
        EXPECT_EQ(XPath(path, "string(" + at + "/name)"), c.shown) << c.name;
        EXPECT_EQ(XPath(path, "string(" + at + "/@type)"), c.type) << c.name;
        EXPECT_EQ(XPath(path, "string(" + at + "/@default)"), c.defaultValue) << c.name;
        EXPECT_EQ(XPath(path, "string(" + at + "/@min)"), c.min) << c.name;
        EXPECT_EQ(XPath(path, "string(" + at + "/@max)"), c.max) << c.name;
        EXPECT_EQ(XPath(path, "string(" + at + "/@factor)"), c.factor) << c.name;
    }
}

TEST(KdenliveEffect, DescribesABuiltPluginBesideIt) {
    ScratchFolder folder;
    const ToolRun run =
        RunTool({"build",         "--frei0r", "-r",       "map(0,r)+ctl(2)", "--slider", "0=190",
                 "--slider",      "1=0",      "--slider", "2=230",           "--title",  "Colour:Duo & <tone>",
                 "--author",      "A \"B\"",  "--enable", "map0,slider2",    "--map",    "0=Blue",
                 "--slider-name", "2=Glow",   "Duo.so"},
                folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_PRED2(Holds, run.out, "described for Kdenlive in 'Duo.xml'\n");
    const std::string xml = folder / "Duo.xml";
    ASSERT_TRUE(WellFormed(xml)) << ReadWholeFile(xml);
    EXPECT_EQ(XPath(xml, "string(/effect/@tag)"), "frei0r.Duo");
    EXPECT_EQ(XPath(xml, "string(/effect/@id)"), "frei0r.Duo");
    EXPECT_EQ(XPath(xml, "string(/effect/name)"), "Colour:Duo & <tone>");
    EXPECT_EQ(XPath(xml, "string(/effect/author)"), "A \"B\"");
    // The map as its two sliders, then the slider; each at its position in the block.
    ExpectParameters(xml, {{"0", "Blue 1", "animated", "190", "0", "255", "255"},
                           {"1", "Blue 2", "animated", "0", "0", "255", "255"},
                           {"2", "Glow", "animated", "230", "0", "255", "255"}});
}

TEST(KdenliveEffect, GoesIntoTheFolderKdenliveReadsOnRequest) {
    ScratchFolder folder;
    const ToolRun run =
        RunTool({"build", "--frei0r", "--title", "Fx:None", "--enable", "", "--kdenlive", "share/effects", "None.so"},
                folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"None.so", "share"}));  // the folder made as needed
    const std::string xml = folder / "share/effects/frei0r_None.xml";
    ASSERT_TRUE(WellFormed(xml));
    EXPECT_EQ(XPath(xml, "count(//effect/parameter)"), "0");
    EXPECT_EQ(XPath(xml, "string(/effect/@tag)"), "frei0r.None");
}

TEST(KdenliveEffect, AnExistingDescriptionIsReplacedOnlyWithY) {
    ScratchFolder folder;
    folder.WriteFile("Mine.xml", "mine");
    ToolRun run = RunTool({"build", "--frei0r", "--title", "Fx:Mine", "Mine.so"}, folder);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "fablix: 'Mine.xml' exists and is where the Kdenlive effect description of the plug-in goes; give -y "
              "(--overwrite) to replace it\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Mine.xml"});
    run = RunTool({"build", "--frei0r", "-y", "--title", "Fx:Mine", "Mine.so"}, folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(WellFormed(folder / "Mine.xml"));
}

// The editor's description, made by the build from fablix.so: the settings
// file, the frame rate and clip length as plain numbers, the bool, and the
// sliders from -1 (keep the settings file's) to 255. The formulas are text,
// which Kdenlive cannot edit.
TEST(KdenliveEffect, DescribesTheEditorPlugin) {
    const std::string xml = std::filesystem::path(FABLIX_PATH).parent_path() / "pages/frei0r_fablix.xml";
    ASSERT_TRUE(WellFormed(xml));
    EXPECT_EQ(XPath(xml, "string(/effect/@tag)"), "frei0r.fablix");
    std::vector<ParameterCase> cases = {{"0", "settings", "url", "", "", "", ""},
                                        {"5", "frame-rate", "constant", "25", "1", "1000", ""},
                                        {"6", "clip-length", "constant", "250", "1", "100000000", ""},
                                        {"7", "single-expression", "bool", "0", "", "", ""}};
    const char* sliders[] = {"8", "9", "10", "11", "12", "13", "14", "15"};
    const char* names[] = {"slider-0", "slider-1", "slider-2", "slider-3",
                           "slider-4", "slider-5", "slider-6", "slider-7"};
    for (int32_t k = 0; k < 8; ++k) cases.push_back({sliders[k], names[k], "animated", "-1", "-1", "255", "255"});
    ExpectParameters(xml, cases);
    EXPECT_EQ(XPath(xml, "string(//parameter[@name='0']/@filter)"), "Settings files (*.fbl)");
}

TEST(KdenliveEffect, SaysWhyAFileIsNoPlugin) {
    ScratchFolder folder;
    folder.WriteFile("plain.so", "not a library");
    std::string problem;
    EXPECT_EQ(KdenliveEffect(folder / "plain.so", "plain", &problem), "");
    EXPECT_PRED2(Holds, problem, "it cannot be loaded: ");
    problem.clear();
    EXPECT_EQ(KdenliveEffect("/lib/x86_64-linux-gnu/libm.so.6", "libm", &problem), "");
    EXPECT_EQ(problem, "it lacks the frei0r functions");
    EXPECT_EQ(KdenliveEffectFileName("Grain"), "frei0r_Grain.xml");
}

}  // namespace
