// fablix build, run as a user runs it, on a plug-in image built byte by
// byte: what it writes, what it refuses, and that an existing plug-in
// survives a failed build.
#include <cstring>

#include "BuiltTiming.h"
#include "ElfImage.h"
#include "FilterParams.h"
#include "TestImage.h"
#include "ToolTestSupport.h"

namespace {

constexpr size_t kParmLeaf = 2;
constexpr size_t kTextLeaf = 3;

struct BuildFolder {
    ScratchFolder folder;
    TestImage image = BuildTestImage(PluginImageLayout(false));

    BuildFolder() { folder.WriteFile("img.rvp", std::string(image.bytes.begin(), image.bytes.end())); }
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
    const ToolRun run = build.Build({"-r", "r/2", "--title", "Fx:Half red", "--author", "Me", "--enable",
                                     "map1,slider0", "--map", "1=Radius", "--slider-name", "0=Amount", "Blur.rvp"});
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
    EXPECT_EQ(
        run.err,
        "fablix: cannot build 'Blur.rvp': the image 'notpe.rvp' is not a Windows (PE) image; nothing was changed\n");
    EXPECT_EQ(ReadWholeFile(build.folder / "Blur.rvp"), "old");
    EXPECT_EQ(build.folder.Names(), (std::vector<std::string>{"Blur.rvp", "img.rvp", "notpe.rvp"}));
}

TEST(Build, RefusesWhatCannotMakeAPlugin) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--module", "kernel32", "out.rvp"}, "the module name 'kernel32' is reserved"},
        {{"--module", "REELINFO", "out.rvp"}, "the module name 'REELINFO' is reserved"},
        {{"--module", "", "out.rvp"}, "the module name is empty"},
        {{".rvp"}, "the module name is empty"},
        {{"--module", "a/b", "out.rvp"}, "holds a folder separator"},
        {{"out.dll"}, "must end in .rvp"},
        {{"--enable", "map0,slider1", "out.rvp"}, "map0 and slider1 exclude each other"},
        {{"--enable", "knob3", "out.rvp"}, "'knob3' is not a control"},
        {{"--map", "4=x", "out.rvp"}, "--map wants I=NAME with I from 0 to 3"},
        {{"--title", std::string(254, 't'), "out.rvp"}, "--title holds at most 253 bytes"},
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
        EXPECT_EQ(ReadWholeFile(build.folder / "img.rvp"),
                  std::string(build.image.bytes.begin(), build.image.bytes.end()));
    }
}

// --frei0r copies fablix.so of this build: the plug-in differs from it
// inside the block section alone, which holds the block with `built` 1.
TEST(BuildFrei0r, WritesTheBlockIntoACopyOfFablixSo) {
    const std::string image = ReadWholeFile(FABLIX_FREI0R_PATH);
    ASSERT_FALSE(image.empty());
    ElfSection section{};
    ASSERT_EQ(FindElfSection({reinterpret_cast<const uint8_t*>(image.data()), image.size()}, kBlockSectionName,
                             &section),
              kElfFound);
    ScratchFolder folder;
    const ToolRun run =
        RunTool({"build", "--frei0r", "-r", "r/2", "--title", "Fx:Half red", "--enable", "slider1", "Half.so"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "built 'Half.so': module Half, title \"Fx:Half red\", controls: slider1\n"
              "described for Kdenlive in 'Half.xml'\n");
    const std::string written = ReadWholeFile(folder / "Half.so");
    ASSERT_EQ(written.size(), image.size());
    for (size_t i = 0; i < image.size(); ++i) {
        if (i - section.offset >= section.size) {
            ASSERT_EQ(written[i], image[i]) << "byte " << i;
        }
    }
    FilterParams block{};
    memcpy(&block, &written[section.offset], sizeof block);
    EXPECT_EQ(block.built, 1);
    EXPECT_STREQ(block.title, "Fx:Half red");
    EXPECT_STREQ(block.moduleName, "Half");
    EXPECT_STREQ(block.formula[2], "r/2");
    EXPECT_EQ(block.hasControls, 1);
}

// --fps N goes into the timing section beside the block, and nowhere else.
TEST(BuildFrei0r, CarriesItsFrameRateBesideTheBlock) {
    const std::string image = ReadWholeFile(FABLIX_FREI0R_PATH);
    const ImageBytes bytes{reinterpret_cast<const uint8_t*>(image.data()), image.size()};
    ElfSection block{}, timing{};
    ASSERT_EQ(FindElfSection(bytes, kBlockSectionName, &block), kElfFound);
    ASSERT_EQ(FindElfSection(bytes, kTimingSectionName, &timing), kElfFound);
    ASSERT_EQ(timing.size, sizeof(BuiltTiming));
    ScratchFolder folder;
    const struct {
        std::vector<std::string> rate;
        int32_t framesPerSecond;
    } cases[] = {{{}, 25}, {{"--fps", "30"}, 30}, {{"--fps", "1"}, 1}, {{"--fps", "1000"}, 1000}};
    for (const auto& c : cases) {
        const ToolRun run =
            RunTool(Joined({"build", "--frei0r", "-y", "--title", "Fx:Rate"}, Joined(c.rate, {"Rate.so"})), folder);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string written = ReadWholeFile(folder / "Rate.so");
        ASSERT_EQ(written.size(), image.size());
        for (size_t i = 0; i < image.size(); ++i)
            if (i - block.offset >= block.size && i - timing.offset >= timing.size) {
                ASSERT_EQ(written[i], image[i]) << i;
            }
        BuiltTiming carried{};
        memcpy(&carried, &written[timing.offset], sizeof carried);
        EXPECT_EQ(carried.size, int32_t{sizeof(BuiltTiming)});
        EXPECT_EQ(carried.framesPerSecond, c.framesPerSecond);
    }
}

TEST(BuildFrei0r, TakesARateOnlyWhereTheImageCarriesOne) {
    ScratchFolder folder;
    std::string earlier = ReadWholeFile(FABLIX_FREI0R_PATH);
    for (size_t at = earlier.find(kTimingSectionName); at != std::string::npos;
         at = earlier.find(kTimingSectionName, at))
        earlier[at + 1] = 'F';  // ".Fablix.timing": a fablix.so of an earlier version
    folder.WriteFile("earlier.so", earlier);
    const struct {
        std::vector<std::string> arguments;
        int32_t exitCode;
        std::string message;
    } cases[] = {
        {{"--frei0r", "--image", "earlier.so", "Plain.so"}, 0, ""},
        {{"--frei0r", "--image", "earlier.so", "--fps", "25", "Plain.so"}, 0, ""},
        {{"--frei0r", "--image", "earlier.so", "--fps", "30", "Thirty.so"},
         1,
         "the image 'earlier.so' has no frame-rate section (.fablix.timing)"},
        {{"--frei0r", "--fps", "0", "Zero.so"},
         2,
         "--fps wants a whole number of frames per second from 1 to 1000: '0'"},
        {{"--frei0r", "--fps", "1001", "Fast.so"}, 2, "from 1 to 1000: '1001'"},
        {{"--frei0r", "--fps", "29.97", "Ntsc.so"}, 2, "from 1 to 1000: '29.97'"},
        {{"--fps", "30", "Win.rvp"}, 2, "--fps is for a frei0r plug-in (--frei0r)"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(Joined({"build", "-y", "--title", "Fx:Rate"}, c.arguments), folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message << run.err;
        if (!c.message.empty()) {
            EXPECT_PRED2(Holds, run.err, c.message);
        }
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Plain.so", "Plain.xml", "earlier.so"}));
}

TEST(BuildFrei0r, RefusesWhatCannotMakeAFrei0rPlugin) {
    ScratchFolder folder;
    const TestImage pe = BuildTestImage(PluginImageLayout(false));
    folder.WriteFile("img.rvp", std::string(pe.bytes.begin(), pe.bytes.end()));
    std::string renamed = ReadWholeFile(FABLIX_FREI0R_PATH);
    size_t renames = 0;
    for (size_t at = renamed.find(kBlockSectionName); at != std::string::npos;
         at = renamed.find(kBlockSectionName, at)) {
        renamed[at + 1] = 'F';  // ".Fablix.block": no block section
        ++renames;
    }
    ASSERT_GT(renames, 0u);
    folder.WriteFile("other.so", renamed);
    folder.WriteFile("Old.so", "old");
    const struct {
        std::vector<std::string> arguments;
        int32_t exitCode;
        std::string message;
    } cases[] = {
        {{"Old.so"}, 2, "'Old.so' exists; give -y (--overwrite) to replace it"},
        {{"--module", "Other", "Mine.so"},
         2,
         "the module name 'Other' is not the file name of 'Mine.so': a frei0r host knows a plug-in by its file name"},
        {{"libc.so"}, 2, "the module name 'libc' is reserved"},
        {{"--module", "a/b", "a/b.so"}, 2, "holds a folder separator"},
        {{".so"}, 2, "the module name is empty"},
        {{"Mine.rvp"}, 2, "must end in .so"},
        {{"--image", "img.rvp", "Mine.so"}, 1, "the image 'img.rvp' is not an ELF image"},
        {{"--image", "other.so", "-y", "Old.so"},
         1,
         "the image 'other.so' has no parameter block (a section .fablix.block of 8300 bytes)"},
        {{"--image", "missing.so", "Mine.so"}, 2, "no frei0r image at 'missing.so'"},
        {{"Mine.v2.so"}, 2, "the module name 'Mine.v2' holds a dot: MLT (and so Kdenlive and Shotcut) knows a plug-in"},
        {{"--module", "a.b", "a.b.so"}, 2, "the module name 'a.b' holds a dot"},
        {{"--kdenlive", "", "Mine.so"}, 2, "--kdenlive wants a folder"},
    };
    const std::vector<std::string> names = folder.Names();
    for (const auto& c : cases) {
        const ToolRun run = RunTool(Joined({"build", "--frei0r"}, c.arguments), folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message;
        EXPECT_PRED2(Holds, run.err, c.message);
        EXPECT_EQ(folder.Names(), names) << c.message;
        EXPECT_TRUE(ReadWholeFile(folder / "Old.so") == "old") << c.message;
    }
}

}  // namespace
