// fablix compile: exit codes, the JSON object, the diagnostics, and the
// usage errors every command shares.
#include <cstring>
#include <memory>

#include "CompileCause.h"
#include "CompileDriver.h"
#include "BlockOptions.h"
#include "Channels.h"
#include "ExitCodes.h"
#include "ToolTestSupport.h"

namespace {

struct ExitCase {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ExitCase& c, std::ostream* out) { *out << c.name; }

class CompileExit : public testing::TestWithParam<ExitCase> {};

TEST_P(CompileExit, ExitsWithTheCodeOfTheOutcome) {
    ScratchFolder folder;
    const ToolRun run = RunTool(GetParam().arguments, folder);
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompileExit,
    testing::Values(ExitCase{"DefaultBlock", {"compile"}, 0},
                    ExitCase{"AllFormulasGiven", {"compile", "-b", "x", "-g", "y", "-r", "t", "-a", "a"}, 0},
                    ExitCase{"OneFormulaFails", {"compile", "-g", "1+"}, 1},
                    ExitCase{"FailsInJsonToo", {"compile", "--json", "-a", "(("}, 1},
                    ExitCase{"UnknownArgument", {"compile", "--fast"}, 2},
                    ExitCase{"MissingValue", {"compile", "-r"}, 2}, ExitCase{"UnknownCommand", {"compiler"}, 2},
                    ExitCase{"NoCommand", {}, 2}, ExitCase{"Help", {"help"}, 0}),
    [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

// The object built from the compiler's own results for the same block.
std::string ExpectedJson(const std::vector<std::string>& formulas) {
    auto params = std::make_unique<FilterParams>();
    EXPECT_EQ(LoadDefaultBlock(params.get()), kBlockOk);
    for (int32_t i = 0; i < kFormulaCount; ++i) SetFormula(params.get(), i, formulas[size_t(i)], "test");
    auto state = std::make_unique<InstanceState>();
    CompileFormulas(state.get(), params.get());
    std::string json = "{\"formulas\":[";
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        json += std::string(i ? "," : "") + "{\"index\":" + std::to_string(i) + ",\"channel\":\"" + kChannelLetters[i] +
                "\",\"failed\":" + (state->compileFailed[i] ? "true" : "false") +
                ",\"errorStart\":" + std::to_string(state->errorStart[i]) +
                ",\"errorEnd\":" + std::to_string(state->errorEnd[i]) +
                ",\"codeLength\":" + std::to_string(state->codeLength[i]) + ",\"message\":\"" +
                (state->compileFailed[i] ? CompileCause(params->formula[i], state->errorStart[i], state->errorEnd[i])
                                         : "") +
                "\"}";
    }
    return json + "]}\n";
}

TEST(CompileJson, IsOneObjectWithTheFourResultsInIndexOrder) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"compile", "--json", "-b", "x+y", "-g", "1+", "-r", "x)", "-a", "a"}, folder);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, ExpectedJson({"x+y", "1+", "x)", "a"}));
    EXPECT_EQ(run.err, "");
    // The spans themselves: "1+" ends too early at 2, ")" is the stray character.
    EXPECT_PRED2(Holds, run.out, "{\"index\":1,\"channel\":\"g\",\"failed\":true,\"errorStart\":2,\"errorEnd\":2,");
    EXPECT_PRED2(Holds, run.out, "{\"index\":2,\"channel\":\"r\",\"failed\":true,\"errorStart\":1,\"errorEnd\":2,");
    EXPECT_PRED2(Holds, run.out, "{\"index\":0,\"channel\":\"b\",\"failed\":false,");
    // Each failure carries its cause, the words `compile` prints without --json.
    EXPECT_PRED2(Holds, run.out, "\"message\":\"formula ends too early: an operand is missing after '+'\"}");
    EXPECT_PRED2(Holds, run.out, "\"message\":\"')' closes no '('\"}");
    EXPECT_PRED2(Holds, run.out, "\"codeLength\":29,\"message\":\"\"}");
}

TEST(CompileDiagnostics, MarkTheSpanUnderTheFormula) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"compile", "-b", "x", "-g", "y", "-r", "foo(1)", "-a", "a"}, folder);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "error: formula 2 (channel R), characters 0..3: unknown name 'foo'\n"
              "    foo(1)\n"
              "    ^^^\n");
}

TEST(CompileDiagnostics, MarkAnEmptySpanWithOneCaret) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"compile", "-b", "x", "-g", "1+", "-r", "r", "-a", "a"}, folder);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "error: formula 1 (channel G), characters 2..2: formula ends too early: an operand is missing "
              "after '+'\n"
              "    1+\n"
              "      ^\n");
}

struct CauseCase {
    std::string formula;
    std::string span;   // "characters S..E"
    std::string cause;  // the rest of the first line
};

// The cause each kind of mistake is told by: worked out from the span the
// compiler gives, the tokens and the catalogue, never a bare "cannot compile".
// In-process; the test below sees the whole report as printed.
TEST(CompileDiagnostics, NameTheRealCause) {
    const std::string xs = [] {
        std::string text = "x";
        while (text.size() < 1021) text += "+x";
        return text;
    }();
    const CauseCase cases[] = {
        {std::string(203, '!') + "x", "204..204",
         "the compiled code needs 2050 bytes; a formula's code holds at most 2047"},
        {xs, "681..682", "the compiled code needs 3080 bytes; a formula's code holds at most 2047"},
        {xs + "+(", "681..682", "the compiled code needs more than the 2047 bytes a formula's code holds"},
        {"foo(1)", "0..3", "unknown name 'foo'"},
        {"min(1)", "5..6", "'min' takes 2 arguments, not 1"},
        {"min(1,2,3)", "7..8", "'min' takes 2 arguments, not 3"},
        {"sin()", "4..5", "'sin' takes 1 argument, not 0"},
        {"sin+1", "3..4", "'sin' is a function: write sin(...) with 1 argument"},
        {"x(1)", "1..2", "'x' is a variable, not a function"},
        {"08", "0..2", "'08' is not a number: octal digits are 0 to 7 (a number that starts with 0 is octal)"},
        {"1e5", "0..3", "'1e5' is not a number: decimal digits are 0 to 9 (hexadecimal numbers start with 0x)"},
        {"1#2", "1..2", "'#' is not part of the formula language"},
        {"r\x01", "1..2", "'\\x01' is not part of the formula language"},
        {"x=1", "1..2", "'=' is not an operator; did you mean '=='?"},
        {"1 2", "2..3", "an operator is missing before '2'"},
        {"1+*2", "2..3", "an operand (a number, a name or '(') is missing before '*'"},
        {"(1,2)", "2..3", "',' separates a function's arguments, or the parts of a formula outside all parentheses"},
        {"x)", "1..2", "')' closes no '('"},
        {"1:2", "1..2", "':' stands only after a '?'"},
        {"(1+2", "4..4", "formula ends too early: a '(' is not closed"},
        {"1?2", "3..3", "formula ends too early: a '?' wants its ':' part"},
        {"// nothing", "10..10", "the formula is empty (or holds only comments)"},
    };
    for (const CauseCase& c : cases) {
        auto params = std::make_unique<FilterParams>();
        ASSERT_EQ(SetFormula(params.get(), 0, c.formula, "test"), kBlockOk);
        auto state = std::make_unique<InstanceState>();
        CompileFormulas(state.get(), params.get());
        // Copied out first: the packed record's fields are not aligned.
        const bool failed = state->compileFailed[0] != 0;
        const int32_t start = state->errorStart[0], end = state->errorEnd[0];
        ASSERT_TRUE(failed) << c.formula.substr(0, 40);
        EXPECT_EQ(std::to_string(start) + ".." + std::to_string(end), c.span) << c.formula.substr(0, 40);
        EXPECT_EQ(CompileCause(params->formula[0], start, end), c.cause) << c.formula.substr(0, 40);
    }
}

TEST(CompileDiagnostics, ShowUnprintableBytesAsHexWithTheMarkerUnderThem) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"compile", "-r", "r\x01\xff", "-g", "\tg\n+@"}, folder);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "error: formula 1 (channel G), characters 4..5: '@' is not part of the formula language\n"
              "    \\tg\\n+@\n"
              "          ^\n"
              "error: formula 2 (channel R), characters 1..2: '\\x01' is not part of the formula language\n"
              "    r\\x01\\xFF\n"
              "     ^^^^\n");
}

TEST(CompileDiagnostics, PrintNothingWhenEveryFormulaCompiles) {
    ScratchFolder folder;
    const ToolRun run = RunTool({"compile"}, folder);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;  // the whole of standard error
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const UsageCase& c, std::ostream* out) { *out << c.name; }

class BlockOptionUsage : public testing::TestWithParam<UsageCase> {};

// Every command reads block options the same way; each case runs under
// all four.
TEST_P(BlockOptionUsage, NamesTheBadArgumentAndExitsWith2) {
    ScratchFolder folder;
    folder.WriteFile("zero.txt", std::string("r+\0"
                                             "1",
                                             4));
    folder.WriteFile("ok.txt", "r");
    for (const char* command : {"compile", "show", "render", "save"}) {
        std::vector<std::string> arguments = Joined({command}, GetParam().arguments);
        if (std::strcmp(command, "render") == 0) arguments.push_back("out.png");
        if (std::strcmp(command, "save") == 0) arguments.push_back("out.fbl");
        const ToolRun run = RunTool(arguments, folder);
        EXPECT_EQ(run.exitCode, 2) << command;
        EXPECT_EQ(run.err, std::string("fablix: ") + GetParam().message + "\n") << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"ok.txt", "zero.txt"})) << command;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockOptionUsage,
    testing::Values(
        UsageCase{"FormulaTooLong",
                  {"-r", std::string(1024, '1')},
                  "formula -r holds 1024 bytes; a formula holds at most 1023"},
        UsageCase{"ZeroByteInFormulaFile",
                  {"--formula-file", "g=zero.txt"},
                  "formula file 'zero.txt' holds a zero byte, which a formula cannot hold"},
        UsageCase{"MissingFormulaFile",
                  {"--formula-file", "g=none.txt"},
                  "cannot read formula file 'none.txt': No such file or directory"},
        UsageCase{"FormulaFileIsAFolder", {"--formula-file", "r=."}, "cannot read formula file '.': it is a folder"},
        UsageCase{"BadChannelLetter",
                  {"--formula-file", "x=ok.txt"},
                  "--formula-file wants CH=PATH with CH one of b, g, r, a: 'x=ok.txt'"},
        UsageCase{"CapitalChannelLetter",
                  {"--formula-file", "R=ok.txt"},
                  "--formula-file wants CH=PATH with CH one of b, g, r, a: 'R=ok.txt'"},
        UsageCase{"SliderIndexTooHigh",
                  {"--slider", "8=1"},
                  "--slider wants K=V with K in 0..7 and V in 0..255: '8=1'"},
        UsageCase{"SliderValueTooHigh",
                  {"--slider", "1=256"},
                  "--slider wants K=V with K in 0..7 and V in 0..255: '1=256'"},
        UsageCase{"SliderValueNegative",
                  {"--slider", "1=-1"},
                  "--slider wants K=V with K in 0..7 and V in 0..255: '1=-1'"},
        UsageCase{"SliderWithoutValue", {"--slider", "3"}, "--slider wants K=V with K in 0..7 and V in 0..255: '3'"},
        UsageCase{"SliderNotANumber",
                  {"--slider", "2=1x"},
                  "--slider wants K=V with K in 0..7 and V in 0..255: '2=1x'"},
        UsageCase{"SettingsTwice",
                  {"--settings", "a.fbl", "--settings", "b.fbl"},
                  "--settings given twice ('a.fbl' and 'b.fbl')"},
        UsageCase{"UnknownOption", {"--colour", "red"}, "unknown option '--colour'"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

}  // namespace
