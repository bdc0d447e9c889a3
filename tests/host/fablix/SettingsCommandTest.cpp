// fablix save and show, and --settings under every command.
#include <sys/stat.h>

#include "ToolTestSupport.h"

namespace {

// The worked example of the settings format: the default block's sliders
// with the formulas "r", "g<tab>+1", "" and "a".
const std::string kExampleFile =
    "%RGB-1.0\r"
    "\x02"
    "21\r"
    "\x02"
    "99\r"
    "\x03"
    "141\r"
    "\x02"
    "67\r"
    "\x02"
    "54\r"
    "\x02"
    "16\r"
    "\x03"
    "130\r"
    "\x02"
    "56\r"
    "r\r\r"
    "g\\t+1\r\r"
    "\r"
    "a\r\r";

TEST(Save, WritesTheSettingsFileByteForByte) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"save", "-b", "r", "-g", "g\t+1", "-r", "", "-a", "a", "out.fbl"}, folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "saved the formulas and sliders to 'out.fbl'\n");
    EXPECT_EQ(ReadWholeFile(folder / "out.fbl"), kExampleFile);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.fbl"});
}

TEST(Save, ThenShowWithSettingsGivesTheSameBlock) {
    ScratchFolder folder;
    const std::vector<std::string> block = {"-b", "x*2", "-r", "r\r\n+1", "--slider", "0=0", "--slider", "7=255"};
    ASSERT_EQ(RunTool(Joined(Joined({"save"}, block), {"saved.fbl"}), folder).exitCode, 0);
    const ToolRun direct = RunTool(Joined({"show"}, block), folder);
    const ToolRun loaded = RunTool({"show", "--settings", "saved.fbl"}, folder);
    EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.out, direct.out);
    EXPECT_EQ(loaded.out,
              "formulas:\n"
              "  B (0): x*2\n"
              "  G (1): sin((x-scl(cos(y),-511,512,0,Y))*val(2,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(3,0,64))\n"
              "  R (2): r\\r\\n+1\n"
              "  A (3): a\n"
              "sliders: 0=0 1=99 2=141 3=67 4=54 5=16 6=130 7=255\n"
              "single expression: off\n");
}

TEST(Save, ReplacesAnOlderFileOnlyWithOverwrite) {
    struct Case {
        std::vector<std::string> options;
        bool replaced;
    } cases[] = {{{}, false},    {{"-n"}, false},         {{"--no-overwrite"}, false}, {{"-y", "-n"}, false},
                 {{"-y"}, true}, {{"--overwrite"}, true}, {{"-n", "-y"}, true}};
    for (const Case& c : cases) {
        ScratchFolder folder;
        folder.WriteFile("out.fbl", "old");
        const ToolRun run =
            RunTool(Joined(Joined({"save", "-b", "r", "-g", "g\t+1", "-r", "", "-a", "a"}, c.options), {"out.fbl"}),
                    folder);
        EXPECT_EQ(ReadWholeFile(folder / "out.fbl"), c.replaced ? kExampleFile : "old") << c.options.size();
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.fbl"});
        EXPECT_EQ(run.exitCode, c.replaced ? 0 : 2);
        EXPECT_EQ(run.err, c.replaced ? ""
                                      : "fablix: 'out.fbl' exists; give -y (--overwrite) to replace it, or choose "
                                        "another name\n");
    }
}

TEST(Save, SaysThatSingleExpressionIsNotKept) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"save", "--single", "out.fbl"}, folder);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "fablix: note: a settings file keeps the formulas and sliders only, not --single\n");
}

TEST(Save, ThatCannotWriteSaysWhyAndLeavesNothing) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.path() / "taken.fbl");
    const char* reason =
        "it cannot be created (a missing or read-only folder, a read-only file, or a folder of that name)";
    for (const char* target : {"missing/out.fbl", "taken.fbl"}) {
        const ToolRun run = RunTool({"save", "-y", target}, folder);
        EXPECT_EQ(run.exitCode, 1) << target;
        EXPECT_EQ(run.err, std::string("fablix: cannot save settings to '") + target + "': " + reason +
                               "; nothing was changed\n");
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"taken.fbl"});
        EXPECT_TRUE(std::filesystem::is_empty(folder.path() / "taken.fbl"));
    }
}

TEST(SaveAndShowArguments, AreCheckedBeforeAnythingIsWritten) {
    ScratchFolder folder;
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"save"}, "save wants one OUTPUT.fbl"},
        {{"save", "a.fbl", "b.fbl"}, "unexpected argument 'b.fbl'; save wants one OUTPUT.fbl"},
        {{"show", "a.fbl"}, "unexpected argument 'a.fbl'; show takes block options and --json only"},
        {{"show", "--yaml"}, "unknown option '--yaml'"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool(c.arguments, folder);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        EXPECT_EQ(run.err, std::string("fablix: ") + c.message + "\n");
    }
    EXPECT_TRUE(folder.Names().empty());
}

struct BadSettingsCase {
    const char* name;
    std::string contents;  // written as bad.fbl; "-" writes nothing, "/" makes a folder, "|" a pipe
    std::string message;   // after "cannot read settings file 'bad.fbl': "
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const BadSettingsCase& c, std::ostream* out) { *out << c.name; }

class BadSettings : public testing::TestWithParam<BadSettingsCase> {};

TEST_P(BadSettings, NameTheFileSectionAndLineUnderEveryCommand) {
    ScratchFolder folder;
    if (GetParam().contents == "/") {
        std::filesystem::create_directory(folder.path() / "bad.fbl");
    } else if (GetParam().contents == "|") {
        ASSERT_EQ(mkfifo((folder / "bad.fbl").c_str(), 0600), 0);
    } else if (GetParam().contents != "-") {
        folder.WriteFile("bad.fbl", GetParam().contents);
    }
    const std::vector<std::string> before = folder.Names();
    const std::vector<std::vector<std::string>> commands = {{"compile", "--settings", "bad.fbl"},
                                                            {"show", "-r", "1", "--settings", "bad.fbl"},
                                                            {"render", "--settings", "bad.fbl", "out.png"},
                                                            {"render", "--settings", "bad.fbl", "--frames", "0:0",
                                                             "out.mkv"},
                                                            {"save", "--settings", "bad.fbl", "out.fbl"}};
    for (const auto& command : commands) {
        const ToolRun run = RunTool(command, folder);
        EXPECT_EQ(run.exitCode, 2) << command[0];
        EXPECT_EQ(run.err, "fablix: cannot read settings file 'bad.fbl': " + GetParam().message + "\n") << command[0];
        EXPECT_EQ(folder.Names(), before) << command[0] << " left something";
    }
}

const std::string kHeaderAndSliders =
    "%RGB-1.0\r"
    "\x01"
    "1\r\x01"
    "2\r\x01"
    "3\r\x01"
    "4\r\x01"
    "5\r\x01"
    "6\r\x01"
    "7\r\x01"
    "8\r";

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSettings,
    testing::Values(
        BadSettingsCase{"Missing", "-", "No such file or directory"}, BadSettingsCase{"Folder", "/", "it is a folder"},
        BadSettingsCase{"Empty", "", "header section, line 1: the file ends (or cannot be read) before the line does"},
        BadSettingsCase{"LowerCaseHeader", "%rgb-1.0\r", "header section, line 1: the first line is not \"%RGB-1.0\""},
        BadSettingsCase{"Pipe", "|", "it is a pipe or socket, not a file"},
        BadSettingsCase{"LineFeedEndings",
                        "%RGB-1.0\n\x01"
                        "1\n",
                        "its lines end in line feeds, and a settings file's lines end in a carriage return alone"},
        BadSettingsCase{"CrLfEndings",
                        "%RGB-1.0\r\n\x01"
                        "1\r\n\x01"
                        "2\r\n\x01"
                        "3\r\n\x01"
                        "4\r\n\x01"
                        "5\r\n\x01"
                        "6\r\n\x01"
                        "7\r\n\x01"
                        "8\r\nr\r\n\r\ng\r\n\r\nb\r\n\r\na\r\n\r\n",
                        "its lines end in CR LF, and a settings file's lines end in a carriage return alone"},
        BadSettingsCase{"CutInSliders",
                        "%RGB-1.0\r\x01"
                        "1\r\x01"
                        "2\r",
                        "sliders section, line 4: the file ends (or cannot be read) before the line does"},
        BadSettingsCase{"CutInFormulas", kHeaderAndSliders + "r\r\rg\r",
                        "formulas section, line 13: the file ends (or cannot be read) before the line does"}),
    [](const testing::TestParamInfo<BadSettingsCase>& info) { return std::string(info.param.name); });

TEST(ShowSettings, AppliesTheFileBeforeTheOtherOptions) {
    ScratchFolder folder;
    folder.WriteFile("block.fbl", kHeaderAndSliders + "r\r\rg\r\rb\r\ra\r\r");
    const ToolRun run = RunTool({"show", "-b", "x", "--slider", "1=50", "--settings", "block.fbl", "--single"}, folder);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "formulas:\n  B (0): x\n  G (1): g\n  R (2): b\n  A (3): a\n"
              "sliders: 0=1 1=50 2=3 3=4 4=5 5=6 6=7 7=8\n"
              "single expression: on\n");
}

}  // namespace
