// The help made from the command table: every command's --help, "help
// COMMAND", --version, the names of the formula language against the
// catalogue, show --json, and the options each help lists against the
// command's own parser.
#include <nlohmann/json.hpp>

#include <regex>

#include "BlockOptions.h"
#include "BlockText.h"
#include "CommandTable.h"
#include "NameGuide.h"
#include "TemplateTable.h"
#include "ToolTestSupport.h"

namespace {

std::vector<const CommandHelp*> AllCommands() {
    std::vector<const CommandHelp*> commands;
    const CommandList list = ToolCommands();
    for (int32_t i = 0; i < list.count; ++i) commands.push_back(&list.commands[i]);
    return commands;
}

std::string ExpectedHelp(const CommandHelp& command) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    PrintCommandHelp(command, out);
    std::fclose(out);
    std::string help(text, size);
    std::free(text);
    return help;
}

TEST(CommandHelp, EverySpellingPrintsTheCommandsHelpAndExits0) {
    ScratchFolder folder;
    for (const CommandHelp* command : AllCommands()) {
        const std::string expected = ExpectedHelp(*command);
        ASSERT_EQ(expected.rfind("usage: " + CommandSynopsis(*command) + "\n", 0), 0u) << command->name;
        const std::vector<std::vector<std::string>> spellings = {{command->name, "--help"},
                                                                 {command->name, "-h"},
                                                                 {"help", command->name},
                                                                 {command->name, "-b", "x", "--help", "out.png"}};
        for (const std::vector<std::string>& arguments : spellings) {
            const ToolRun run = RunTool(arguments, folder);
            EXPECT_EQ(run.exitCode, 0) << arguments[0] << " " << arguments[1] << run.err;
            EXPECT_EQ(run.out, expected) << arguments[0] << " " << arguments[1];
            EXPECT_EQ(run.err, "");
        }
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{});
}

TEST(CommandHelp, ListsEachOptionOfTheTableWithItsMeaning) {
    for (const CommandHelp* command : AllCommands()) {
        const std::string help = ExpectedHelp(*command);
        std::vector<OptionList> lists = {command->options};
        if (command->overwrite) lists.push_back(OverwriteOptionList());
        if (command->blockOptions) lists.push_back(BlockOptionList());
        for (const OptionList& list : lists)
            for (int32_t i = 0; i < list.count; ++i) {
                EXPECT_PRED2(Holds, help, list.options[i].spellings) << command->name;
                EXPECT_PRED2(Holds, help, list.options[i].meaning) << command->name;
            }
    }
}

// A value that the option's parser takes as a value of its kind; the run
// may still fail later (no OUTPUT), but never on the option itself.
std::vector<std::string> WithValue(const OptionHelp& option, const std::string& spelling) {
    if (option.value == nullptr) return {spelling};
    const std::string name = spelling;
    if (name == "--size") return {spelling, "8x8"};
    if (name == "--formula-file") return {spelling, "b=formula.txt"};
    if (name == "--settings") return {spelling, "missing.fbl"};
    if (option.kind == kValueSlider || option.kind == kValueSliderName || option.kind == kValueMapName)
        return {spelling, "1=7"};
    if (option.kind == kValueControls) return {spelling, "slider0"};
    if (option.kind == kValueNumber) return {spelling, "1"};
    return {spelling, "x"};
}

// The table and the parsers cannot drift apart one way: every spelling the
// help lists is one the command takes.
TEST(CommandHelp, EveryListedOptionIsOneTheCommandTakes) {
    ScratchFolder folder;
    folder.WriteFile("formula.txt", "x");
    for (const CommandHelp* command : AllCommands()) {
        std::vector<OptionList> lists = {command->options};
        if (command->overwrite) lists.push_back(OverwriteOptionList());
        if (command->blockOptions) lists.push_back(BlockOptionList());
        for (const OptionList& list : lists)
            for (int32_t i = 0; i < list.count; ++i) {
                std::string spellings = list.options[i].spellings;
                for (size_t at = 0; at != std::string::npos;) {
                    const size_t comma = spellings.find(", ", at);
                    const std::string spelling = spellings.substr(at, comma - at);
                    at = comma == std::string::npos ? comma : comma + 2;
                    std::vector<std::string> arguments = Joined({command->name}, WithValue(list.options[i], spelling));
                    // Cheap runs: a tiny bench, and formulas for help's topic.
                    if (std::string(command->name) == "bench")
                        arguments = Joined(arguments, {"--size", "4x4", "--frames", "1"});
                    if (std::string(command->name) == "help") arguments.push_back("formulas");
                    // The editor would serve until stopped: an input that is not there ends it.
                    if (std::string(command->name) == "edit") arguments.push_back("missing.png");
                    const ToolRun run = RunTool(arguments, folder);
                    EXPECT_FALSE(Holds(run.err, "unknown option"))
                        << command->name << " " << spelling << ": " << run.err;
                }
            }
    }
}

TEST(Version, NamesTheProjectVersionAndTheCommit) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"--version"}, folder);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const std::regex form("fablix " FABLIX_PROJECT_VERSION " \\(commit ([0-9a-f]{12}(-modified)?|unknown)\\)\n");
    EXPECT_TRUE(std::regex_match(run.out, form)) << run.out;
    EXPECT_EQ(run.out, VersionText() + "\n");
}

TEST(HelpTopics, RefuseWhatIsNoTopic) {
    ScratchFolder folder;
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"help", "colours"}, "fablix: no help on 'colours': give a command or 'formulas'\n"},
        {{"help", "render", "show"}, "fablix: help takes one topic, a command or 'formulas': 'show'\n"},
        {{"help", "render", "--json"}, "fablix: --json is for 'help formulas'\n"},
        {{"help", "--all"}, "fablix: unknown option '--all'\n"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(c.arguments, folder);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(run.out, "");
    }
}

// Each name a formula can use, in the catalogue's order: the list cannot
// miss one the compiler knows.
TEST(FormulaNames, JsonListsEveryNameOfTheCatalogueWithItsMeaning) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"help", "formulas", "--json"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json listed = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(listed.is_discarded()) << run.out;
    size_t at = 0;
    const char* kinds[] = {"variable", "operator", "function"};
    for (const Template* row = kTemplateTable; row->name[0] != '\0'; ++row) {
        if (!IsLanguageRow(*row)) continue;
        ASSERT_LT(at, listed["names"].size()) << row->name;
        const nlohmann::json& entry = listed["names"][at++];
        EXPECT_EQ(entry["name"], row->name);
        EXPECT_EQ(entry["arity"], row->arity) << row->name;
        EXPECT_EQ(entry["kind"], kinds[KindOfRow(*row)]) << row->name;
        EXPECT_EQ(entry["meaning"], FindNameGuide(row->name)->meaning) << row->name;
        EXPECT_EQ(entry["form"], FindNameGuide(row->name)->form) << row->name;
    }
    EXPECT_EQ(at, listed["names"].size());
    EXPECT_EQ(at, 109u);  // 113 rows, 4 of them structural
}

TEST(FormulaNames, TextGroupsTheNamesByKind) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"help", "formulas"}, folder);
    ASSERT_EQ(run.exitCode, 0);
    const size_t variables = run.out.find("variables:\n"), operators = run.out.find("\noperators:\n"),
                 functions = run.out.find("\nfunctions:\n");
    ASSERT_EQ(variables, 0u);
    ASSERT_LT(operators, functions);
    ASSERT_NE(functions, std::string::npos);
    for (const Template* row = kTemplateTable; row->name[0] != '\0'; ++row) {
        if (!IsLanguageRow(*row)) continue;
        const std::string line = "\n  " + std::string(FindNameGuide(row->name)->form);
        const size_t found = run.out.find(line);
        ASSERT_NE(found, std::string::npos) << row->name;
        const size_t group = KindOfRow(*row) == kNameVariable   ? variables
                             : KindOfRow(*row) == kNameOperator ? operators
                                                                : functions;
        EXPECT_GT(found, group) << row->name;
        const size_t next = group == variables ? operators : group == operators ? functions : run.out.size();
        EXPECT_LT(found, next) << row->name;
    }
    EXPECT_FALSE(Holds(run.out, "(not described)"));
}

TEST(ShowJson, IsTheBlockOfTheCommandLine) {
    ScratchFolder folder;
    const ToolRun run =
        RunTool({"show", "--json", "-b", "x\t+1", "-a", "\xff", "--slider", "7=255", "--single"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json block = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(block.is_discarded()) << run.out;
    auto params = std::make_unique<FilterParams>();
    ASSERT_EQ(LoadDefaultBlock(params.get()), kBlockOk);
    EXPECT_EQ(block["formulas"][0]["text"], "x\t+1");
    EXPECT_EQ(block["formulas"][0]["channel"], "b");
    EXPECT_EQ(block["formulas"][2]["text"], params->formula[2]);
    EXPECT_EQ(block["formulas"][3]["text"], "\xEF\xBF\xBD");  // a byte that is not UTF-8 shows as U+FFFD
    EXPECT_EQ(block["sliders"][7]["value"], 255);
    EXPECT_EQ(block["sliders"][0]["value"], params->sliderValue[0]);
    EXPECT_EQ(block["sliders"][0]["name"], params->sliderName[0]);
    EXPECT_EQ(block["sliders"][6]["enabled"], params->sliderEnabled[6] != 0);
    EXPECT_EQ(block["maps"].size(), 4u);
    EXPECT_EQ(block["singleExpression"], true);
    EXPECT_EQ(block["title"], params->title);
    EXPECT_EQ(block["built"], false);
    EXPECT_EQ(run.out, BlockJson([&] {
                  SetFormula(params.get(), 0, "x\t+1", "test");
                  SetFormula(params.get(), 3, "\xff", "test");
                  params->sliderValue[7] = 255;
                  params->singleExpression = 1;
                  return *params;
              }()));
}

}  // namespace
