// What fablix build refuses before it writes a plug-in: formulas that do not
// compile, images cut short or that are no image at all, titles a host
// drops, and module names a Windows host cannot load. Each refusal writes
// nothing.
#include <string>
#include <vector>

#include "TestImage.h"
#include "ToolTestSupport.h"

namespace {

std::string ImageText(const TestImage& image) { return std::string(image.bytes.begin(), image.bytes.end()); }

// A folder holding the test image as img.rvp and a settings file whose red
// formula does not compile, as broke.fbl.
struct CheckFolder {
    ScratchFolder folder;
    CheckFolder() {
        folder.WriteFile("img.rvp", ImageText(BuildTestImage(PluginImageLayout(false))));
        const ToolRun saved = RunTool({"save", "-r", "1+", "broke.fbl"}, folder);
        EXPECT_EQ(saved.exitCode, 0) << saved.err;
    }
    std::vector<std::string> Before() const { return {"broke.fbl", "img.rvp"}; }
};

// The red formula "1+" stops at its end: the compile command's report.
const char kBrokenReport[] =
    "error: formula 2 (channel R), characters 2..2: formula ends too early: an operand is missing after '+'\n"
    "    1+\n"
    "      ^\n";

TEST(BuildFormulas, AFormulaThatDoesNotCompileIsRefusedUnlessAllowed) {
    const struct {
        std::vector<std::string> arguments;
        std::string output;
    } cases[] = {
        {{"--image", "img.rvp", "-r", "1+"}, "Broke.rvp"},
        {{"--image", "img.rvp", "--settings", "broke.fbl"}, "Broke.rvp"},
        {{"--frei0r", "-r", "1+"}, "Broke.so"},
        {{"--frei0r", "--settings", "broke.fbl"}, "Broke.so"},
        // A later formula on the command line does not mend the settings file's.
        {{"--settings", "broke.fbl", "-g", "(", "-r", "r"}, "Broke.rvp"},
    };
    for (const auto& c : cases) {
        const std::string what = c.arguments[c.arguments.size() - 2] + " " + c.arguments.back();
        CheckFolder check;
        const ToolRun refused = RunTool(Joined(Joined({"build"}, c.arguments), {c.output}), check.folder);
        EXPECT_EQ(refused.exitCode, 1) << what;
        EXPECT_EQ(refused.out, "") << what;
        EXPECT_PRED2(Holds, refused.err, "error: formula ") << what;
        EXPECT_PRED2(Holds, refused.err,
                     "fablix: cannot build '" + c.output +
                         "': a formula does not compile (above), and the plug-in "
                         "would render its channel as 0; fix it, or give --allow-failing to build it anyway\n")
            << what;
        EXPECT_EQ(check.folder.Names(), check.Before()) << what;

        const ToolRun allowed =
            RunTool(Joined(Joined({"build", "--allow-failing"}, c.arguments), {c.output}), check.folder);
        EXPECT_EQ(allowed.exitCode, 0) << what << allowed.err;
        EXPECT_PRED2(Holds, allowed.out, "built '" + c.output + "'") << what;
        EXPECT_PRED2(Holds, allowed.err, "warning: formula ") << what;
        EXPECT_TRUE(std::filesystem::is_regular_file(check.folder / c.output)) << what;
    }
    CheckFolder check;
    const ToolRun exact = RunTool({"build", "--image", "img.rvp", "-r", "1+", "Broke.rvp"}, check.folder);
    EXPECT_EQ(exact.err, std::string(kBrokenReport) +
                             "fablix: cannot build 'Broke.rvp': a formula does not compile (above), and the plug-in "
                             "would render its channel as 0; fix it, or give --allow-failing to build it anyway\n");
}

// Copies cut at points in the section table, in the resources, in the
// data after them and one byte short of the end: the image's headers
// place data past each cut.
TEST(BuildImage, AnImageCutShortIsRefused) {
    struct Source {
        std::string name;
        std::string bytes;
    };
    std::vector<Source> sources = {{"test", ImageText(BuildTestImage(PluginImageLayout(false)))},
                                   {"test64", ImageText(BuildTestImage(PluginImageLayout(true)))}};
    for (bool wide : {false, true}) {
        const std::string real = ReadWholeFile(RealImagePath(wide));
        if (!real.empty()) sources.push_back({wide ? "win64" : "win32", real});
    }
    for (const Source& source : sources) {
        const size_t size = source.bytes.size();
        std::vector<size_t> cuts = {0x180, 0x300, size / 2, size - 0x200, size - 1};
        if (size > 1262000) cuts.push_back(1262000);
        for (size_t cut : cuts) {
            const std::string what = source.name + " cut at " + std::to_string(cut);
            ScratchFolder folder;
            folder.WriteFile("cut.rvp", source.bytes.substr(0, cut));
            const ToolRun run = RunTool({"build", "--image", "cut.rvp", "Cut.rvp"}, folder);
            EXPECT_EQ(run.exitCode, 1) << what;
            EXPECT_EQ(run.err,
                      "fablix: cannot build 'Cut.rvp': the image 'cut.rvp' is cut short or damaged: its "
                      "headers place data past its end; copy the image whole; nothing was changed\n")
                << what;
            EXPECT_EQ(folder.Names(), std::vector<std::string>{"cut.rvp"}) << what;
        }
        ScratchFolder folder;
        folder.WriteFile("whole.rvp", source.bytes);
        const ToolRun whole = RunTool({"build", "--image", "whole.rvp", "Whole.rvp"}, folder);
        EXPECT_EQ(whole.exitCode, 0) << source.name << whole.err;
    }
}

// A copy of fablix.so cut short: its section table, which the linker put
// last, is gone, or a section's data reaches past the end.
TEST(BuildImage, AFrei0rImageCutShortIsRefused) {
    const std::string image = ReadWholeFile(FABLIX_FREI0R_PATH);
    ASSERT_FALSE(image.empty());
    for (size_t cut : {size_t{0x1000}, image.size() / 2, image.size() - 1}) {
        ScratchFolder folder;
        folder.WriteFile("cut.so", image.substr(0, cut));
        const ToolRun run = RunTool({"build", "--frei0r", "--image", "cut.so", "Cut.so"}, folder);
        EXPECT_EQ(run.exitCode, 1) << cut;
        EXPECT_EQ(run.err,
                  "fablix: cannot build 'Cut.so': the image 'cut.so' is cut short or damaged: its headers "
                  "place data past its end; copy the image whole; nothing was changed\n")
            << cut;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"cut.so"}) << cut;
    }
}

// The path of --image says what it is, whatever kind of plug-in is built.
TEST(BuildImage, APathThatIsNoImageSaysWhy) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.path() / "images");
    folder.WriteFile("empty.rvp", "");
    const struct {
        std::string image;
        std::string message;
    } cases[] = {
        {"/dev/zero", "is not a regular file (a device, a pipe or a socket), so not a plug-in image"},
        {"images", "is a folder, not a plug-in image"},
        {"empty.rvp", "is empty, not a plug-in image"},
    };
    for (const auto& c : cases) {
        for (const bool frei0r : {false, true}) {
            const std::string kind = frei0r ? "frei0r image" : "plug-in image";
            const std::vector<std::string> arguments =
                frei0r ? std::vector<std::string>{"build", "--frei0r", "--image", c.image, "Out.so"}
                       : std::vector<std::string>{"build", "--image", c.image, "Out.rvp"};
            const ToolRun run = RunTool(arguments, folder);
            EXPECT_EQ(run.exitCode, 2) << c.image;
            EXPECT_EQ(run.err, "fablix: the " + kind + " '" + c.image + "' " + c.message + "\n") << c.image;
            EXPECT_EQ(folder.Names(), (std::vector<std::string>{"empty.rvp", "images"})) << c.image;
        }
    }
}

TEST(BuildTitle, EmptyNotUtf8AndTooLongTitlesAreRefused) {
    const std::string notUtf8 = "the title is not UTF-8 text (byte ";
    const struct {
        std::string title;
        std::string message;
    } cases[] = {
        {"", "the title is empty; a host lists a plug-in by its title: give --title T"},
        {"Fx:\xFF", notUtf8 + "3 is not)"},
        {"Fx:Caf\xE9", notUtf8 + "6 is not)"},  // Latin-1
        {"\x80"
         "Fx",
         notUtf8 + "0 is not)"},                         // a continuation byte first
        {"Fx:\xC0\xAF", notUtf8 + "3 is not)"},          // an overlong '/'
        {"Fx:\xED\xA0\x80", notUtf8 + "3 is not)"},      // a surrogate
        {"Fx:\xF4\x90\x80\x80", notUtf8 + "3 is not)"},  // past U+10FFFF
        {"Fx:\xE2\x82", notUtf8 + "3 is not)"},          // cut short
        {std::string(254, 't'), "--title holds at most 253 bytes, not 254"},
        {[] {  // 127 characters of two bytes each
             std::string title;
             for (int i = 0; i < 127; ++i) title += "\xC3\xA9";
             return title;
         }(),
         "--title holds at most 253 bytes, not 254"},
    };
    for (const auto& c : cases) {
        for (const bool frei0r : {false, true}) {
            CheckFolder check;
            const std::string output = frei0r ? "Out.so" : "Out.rvp";
            const std::vector<std::string> kind =
                frei0r ? std::vector<std::string>{"--frei0r"} : std::vector<std::string>{"--image", "img.rvp"};
            const ToolRun run = RunTool(Joined(Joined({"build"}, kind), {"--title", c.title, output}), check.folder);
            EXPECT_EQ(run.exitCode, 2) << c.message;
            EXPECT_PRED2(Holds, run.err, "fablix: " + c.message) << c.message;
            EXPECT_EQ(check.folder.Names(), check.Before()) << c.message;
        }
    }
    CheckFolder check;
    const ToolRun run = RunTool({"build", "--image", "img.rvp", "--title",
                                 "Fx:Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\x9E", "--enable", "", "Ok.rvp"},
                                check.folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

// A Windows build's module name is checked against the modules a Windows
// host has loaded, in any case, and against Windows file names; the
// libraries loaded in this Linux process do not matter to it.
TEST(BuildModuleName, WindowsNamesAHostCannotLoadAreRefused) {
    const std::string loaded = "is reserved: a Windows host has a module of that name loaded";
    const std::string character = "holds one of < > : \" | ? *, which a Windows file name cannot";
    const std::string device = "is a Windows device name";
    const std::string trailing = "ends in a dot or a space";
    const struct {
        std::string name;
        std::string message;  // "" when the name is fine
    } cases[] = {
        {"FL-Fabx", loaded},
        {"fl-fabx", loaded},
        {"REELINFO", loaded},
        {"ReelInfo", loaded},
        {"kernel32", loaded},
        {"KERNEL32", loaded},
        {"Kernel32.dll", loaded},
        {"user32", loaded},
        {"NTDLL", loaded},
        {"msvcrt", loaded},
        {"Reelvane", loaded},
        {"CON", device},
        {"con", device},
        {"Nul.txt", device},
        {"COM1", device},
        {"lpt9", device},
        {"AUX ", trailing},
        {"Blur.", trailing},
        {"Blur ", trailing},
        {"a<b", character},
        {"a>b", character},
        {"a\"b", character},
        {"a|b", character},
        {"a?b", character},
        {"a*b", character},
        {"tab\tname", "holds a control character"},
        {"Blur", ""},
        {"libc", ""},
        {"COM10", ""},
        {"CONSOLE", ""},
        {"My Fx", ""},
        {"kernel", ""},
        {"Blur.v2", ""},
    };
    for (const auto& c : cases) {
        CheckFolder check;
        const ToolRun run =
            RunTool({"build", "--image", "img.rvp", "--module", c.name, "--enable", "", "Out.rvp"}, check.folder);
        if (c.message.empty()) {
            EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
            continue;
        }
        EXPECT_EQ(run.exitCode, 2) << c.name;
        EXPECT_PRED2(Holds, run.err, "fablix: the module name '" + c.name + "' " + c.message) << c.name;
        EXPECT_EQ(check.folder.Names(), check.Before()) << c.name;
    }
}

}  // namespace
