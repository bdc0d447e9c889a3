// The manual page made from the command table: every command, every option
// spelling and every formula name is in it, and groff reads it without a
// warning.
#include "CommandTable.h"
#include "NameList.h"
#include "ToolPages.h"
#include "ToolTestSupport.h"

namespace {

// An option or name as the page writes it: hyphens escaped for roff.
std::string RoffWord(const std::string& text) {
    std::string escaped;
    for (char c : text) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    return escaped;
}

TEST(ManPage, HoldsEveryCommandOptionAndName) {
    const std::string page = ManPage();
    EXPECT_EQ(page.find(".TH FABLIX 1 "), page.find('\n') + 1);
    const CommandList commands = ToolCommands();
    for (int32_t i = 0; i < commands.count; ++i) {
        const CommandHelp& command = commands.commands[i];
        EXPECT_PRED2(Holds, page, ".SS " + std::string(command.name) + "\n" + RoffWord(CommandSynopsis(command)));
        for (int32_t k = 0; k < command.options.count; ++k)
            EXPECT_PRED2(Holds, page, ".B " + RoffWord(command.options.options[k].spellings));
    }
    for (OptionList list : {BlockOptionList(), OverwriteOptionList(), ToolOptionList()})
        for (int32_t k = 0; k < list.count; ++k) EXPECT_PRED2(Holds, page, ".B " + RoffWord(list.options[k].spellings));
    for (const NameEntry& entry : LanguageNames()) EXPECT_PRED2(Holds, page, ".B \"" + RoffWord(entry.form) + "\"");
    EXPECT_PRED2(Holds, page, RoffWord(VersionText()));
}

TEST(ManPage, GroffReadsItWithoutWarnings) {
    ScratchFolder folder;
    folder.WriteFile("fablix.1", ManPage());
    const std::string command = "groff -man -Tutf8 -ww -z " + ShellWord(folder / "fablix.1") + " 2>" +
                                ShellWord(folder / "warnings") + "; echo $? >" + ShellWord(folder / "status");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(folder / "status"), "0\n");
    EXPECT_EQ(ReadWholeFile(folder / "warnings"), "");
}

}  // namespace
