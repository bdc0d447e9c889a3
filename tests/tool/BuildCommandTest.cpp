// fablix build, run as a user runs it, on a plug-in image built byte by
// byte: what it writes, what it refuses, and that an existing plug-in
// survives a failed build.
#include <cstring>

#include "FilterParams.h"
#include "TestImage.h"
#include "ToolTestSupport.h"

namespace {

constexpr size_t kParmLeaf = 2;
constexpr size_t kTextLeaf = 3;

struct BuildFolder {
    ScratchFolder folder;
    TestImage image = BuildTestImage(PluginImageLayout(false));

    BuildFolder() {
        folder.WriteFile("img.rvp", std::string(image.bytes.begin(), image.bytes.end()));
    }
    ToolRun Build(const std::vector<std::string>& arguments) const {
        return RunTool(Joined({"build", "--image", "img.rvp"}, arguments), folder);
    }
    // The block written into a plug-in, and the title and DLL name beside it.
    FilterParams Block(const std::string& name) const {
        const std::string bytes = ReadWholeFile(folder / name);
        FilterParams block{};
        if (bytes.size() == image.bytes.size()) memcpy(&block, &bytes[image.dataOffsets[kParmLeaf]], sizeof block);
        return block;
    }
    std::string Text(const std::string& name, uint32_t at) const {
        const std::string bytes = ReadWholeFile(folder / name);
        return bytes.size() == image.bytes.size() ? std::string(bytes.c_str() + at) : "";
    }
    std::string Title(const std::string& name) const { return Text(name, image.dataOffsets[kTextLeaf] + 2); }
    std::string DllName(const std::string& name) const { return Text(name, image.dllName); }
};

TEST(Build, WritesTheBlockTheTitleAndTheName) {
    BuildFolder build;
    const ToolRun run = build.Build({"-r", "r/2", "--title", "Fx:Half red", "--author", "Me", "--enable", "map1,slider0",
                                     "--map", "1=Radius", "--slider-name", "0=Amount", "Blur.rvp"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "built 'Blur.rvp': module Blur, title \"Fx:Half red\", controls: map1, slider0\n");
    const FilterParams block = build.Block("Blur.rvp");
    EXPECT_EQ(block.built, 1);
    EXPECT_STREQ(block.title, "Fx:Half red");
    EXPECT_STREQ(block.author, "Me");
    EXPECT_STREQ(block.moduleName, "Blur");
    EXPECT_STREQ(block.formula[2], "r/2");
    EXPECT_STREQ(block.mapName[1], "Radius");
    EXPECT_STREQ(block.sliderName[0], "Amount");
    const int32_t maps[kMapCount] = {0, 1, 0, 0};
    const int32_t sliders[kSliderCount] = {1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(memcmp(block.mapEnabled, maps, sizeof maps), 0);
    EXPECT_EQ(memcmp(block.sliderEnabled, sliders, sizeof sliders), 0);
    EXPECT_EQ(block.hasControls, 1);
    EXPECT_EQ(block.reserved[0] | block.reserved[1] | block.reserved[2], 0);
    EXPECT_EQ(build.Title("Blur.rvp"), "Fx:Half red...");
    EXPECT_EQ(build.DllName("Blur.rvp"), "BlurZZZ.rvp");
    EXPECT_EQ(build.folder.Names(), (std::vector<std::string>{"Blur.rvp", "img.rvp"}));
}

// Without --image the 32-bit image of the win32 build is copied.
TEST(Build, CopiesThe32BitImageByDefault) {
    const std::string image = ReadWholeFile(RealImagePath(false));
    if (image.empty()) GTEST_SKIP() << RealImagePath(false) << " is not built; build the win32 preset";
    ScratchFolder folder;
    const ToolRun run = RunTool({"build", "--enable", "", "Blur.rvp"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string written = ReadWholeFile(folder / "Blur.rvp");
    ASSERT_EQ(written.size(), image.size());
    size_t differing = 0;
    for (size_t i = 0; i < image.size(); ++i) differing += written[i] != image[i];
    EXPECT_GT(differing, 0u);
    EXPECT_NE(written.find("BlurZZZ.rvp"), std::string::npos);
    EXPECT_EQ(image.find("BlurZZZ.rvp"), std::string::npos);
}

TEST(Build, NoControlsAndAModuleNameOfItsOwn) {
    BuildFolder build;
    const ToolRun run = build.Build({"--enable", "", "--module", "ABCDEFGH", "out.rvp"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(build.Block("out.rvp").hasControls, 0);
    EXPECT_STREQ(build.Block("out.rvp").moduleName, "ABCDEFGH");
    EXPECT_EQ(build.Title("out.rvp"), "Custom:Fablix");
    EXPECT_EQ(build.DllName("out.rvp"), "ABCDEFG.rvp");
}

TEST(Build, ReplacesAnExistingPluginOnlyWithY) {
    BuildFolder build;
    build.folder.WriteFile("Blur.rvp", "old");
    const ToolRun refused = build.Build({"Blur.rvp"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "fablix: 'Blur.rvp' exists; give -y (--overwrite) to replace it, or choose another name\n");
    EXPECT_EQ(ReadWholeFile(build.folder / "Blur.rvp"), "old");
    ASSERT_EQ(build.Build({"-y", "Blur.rvp"}).exitCode, 0);
    EXPECT_EQ(build.DllName("Blur.rvp"), "BlurZZZ.rvp");
}

// With -y, an image that is no plug-in leaves the old file and no
// temporary file behind.
TEST(Build, AFailedBuildKeepsTheOldPlugin) {
    BuildFolder build;
    build.folder.WriteFile("Blur.rvp", "old");
    build.folder.WriteFile("notpe.rvp", "MZ not a PE image");
    const ToolRun run = RunTool({"build", "--image", "notpe.rvp", "-y", "Blur.rvp"}, build.folder);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "fablix: cannot build 'Blur.rvp': the image 'notpe.rvp' is not a Windows (PE) image; nothing was changed\n");
    EXPECT_EQ(ReadWholeFile(build.folder / "Blur.rvp"), "old");
    EXPECT_EQ(build.folder.Names(), (std::vector<std::string>{"Blur.rvp", "img.rvp", "notpe.rvp"}));
}

TEST(Build, RefusesWhatCannotMakeAPlugin) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--module", "libc", "out.rvp"}, "the module name 'libc' is reserved"},
        {{"--module", "fablix", "out.rvp"}, "the module name 'fablix' is reserved"},
        {{"--module", "", "out.rvp"}, "the module name is empty"},
        {{".rvp"}, "the module name is empty"},
        {{"--module", "a/b", "out.rvp"}, "holds a folder separator"},
        {{"out.dll"}, "must end in .rvp"},
        {{"--enable", "map0,slider1", "out.rvp"}, "map0 and slider1 exclude each other"},
        {{"--enable", "knob3", "out.rvp"}, "'knob3' is not a control"},
        {{"--map", "4=x", "out.rvp"}, "--map wants I=NAME with I from 0 to 3"},
        {{"--title", std::string(254, 't'), "out.rvp"}, "--title holds at most 253 characters"},
        {{"-y", "img.rvp"}, "'img.rvp' is the image itself"},
        {{"--image", "missing.rvp", "out.rvp"}, "no plug-in image at 'missing.rvp'"},
        {{"out.rvp", "more.rvp"}, "unexpected argument 'more.rvp'"},
    };
    for (const auto& c : cases) {
        BuildFolder build;
        const ToolRun run = build.Build(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        EXPECT_PRED2(Holds, run.err, c.message);
        EXPECT_EQ(build.folder.Names(), std::vector<std::string>{"img.rvp"}) << c.message;
        EXPECT_EQ(ReadWholeFile(build.folder / "img.rvp"), std::string(build.image.bytes.begin(), build.image.bytes.end()));
    }
}

}  // namespace
