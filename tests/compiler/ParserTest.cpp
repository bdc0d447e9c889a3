// The parser and code emitter: the templates each construct
// emits, in postfix order, and the precedence and associativity of every
// level; the emitter's capacity rule and error procedure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CompilerTestSupport.h"
#include "CompilerInternal.h"

namespace {

using fablix_test::Code;
using fablix_test::Compile;
using fablix_test::DecodedOps;
using fablix_test::Head;
using fablix_test::L;
using fablix_test::T;

using Ops = std::vector<std::string>;

struct GrammarCase {
    const char* text;
    Ops ops;  // the decoded program, "Return" (the epilog) last
};

void PrintTo(const GrammarCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class Grammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(Grammar, EmitsTheTemplatesInPostfixOrder) {
    const auto compiled = Compile(GetParam().text);
    EXPECT_EQ(compiled.failed, 0);
    EXPECT_EQ(DecodedOps(compiled.area), GetParam().ops);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Grammar,
    testing::Values(GrammarCase{"r+g*2", {"SourceR", "SourceG", "Number:2", "Multiply", "Add", "Return"}},
                    GrammarCase{"1,2,3", {"Number:1", "Comma", "Number:2", "Comma", "Number:3", "Return"}},
                    GrammarCase{"a?b:c", {"SourceA", "SourceB", "SourceC", "Choose", "Return"}},
                    GrammarCase{"-x", {"X", "Negate", "Return"}}, GrammarCase{"+x", {"X", "Return"}},
                    GrammarCase{"!!x", {"X", "Not", "Not", "Return"}},
                    GrammarCase{"-~!x", {"X", "Not", "Complement", "Negate", "Return"}},
                    GrammarCase{"-2", {"Number:2", "Negate", "Return"}},
                    GrammarCase{"a<<b<c", {"SourceA", "SourceB", "SourceC", "Less", "ShiftLeft", "Return"}},
                    GrammarCase{"a|b^c", {"SourceA", "SourceB", "BitOr", "SourceC", "BitXor", "Return"}},
                    GrammarCase{"a==b<c", {"SourceA", "SourceB", "Equal", "SourceC", "Less", "Return"}},
                    GrammarCase{"a-b-c", {"SourceA", "SourceB", "Subtract", "SourceC", "Subtract", "Return"}},
                    GrammarCase{"a!=b", {"SourceA", "SourceB", "NotEqual", "Return"}},
                    GrammarCase{"min(1,2)", {"Number:1", "Number:2", "Min", "Return"}}));

INSTANTIATE_TEST_SUITE_P(
    Precedence, Grammar,
    testing::Values(
        // every level, loosest first, each binding its right neighbour
        GrammarCase{"a||b&&c|r&g<<1==2+3*4",
                    {"SourceA", "SourceB", "SourceC", "SourceR", "SourceG", "Number:1", "Number:2", "Number:3",
                     "Number:4", "Multiply", "Add", "Equal", "ShiftLeft", "BitAnd", "BitOr", "LogicalAnd", "LogicalOr",
                     "Return"}},
        GrammarCase{"3*4+2==1<<g&r|c&&b||a",
                    {"Number:3", "Number:4", "Multiply", "Number:2", "Add", "Number:1", "Equal", "SourceG", "ShiftLeft",
                     "SourceR", "BitAnd", "SourceC", "BitOr", "SourceB", "LogicalAnd", "SourceA", "LogicalOr",
                     "Return"}},
        GrammarCase{"1+2*3-4/5%6",
                    {"Number:1", "Number:2", "Number:3", "Multiply", "Add", "Number:4", "Number:5", "Divide",
                     "Number:6", "Remainder", "Subtract", "Return"}},
        GrammarCase{"a^b|c", {"SourceA", "SourceB", "BitXor", "SourceC", "BitOr", "Return"}},
        GrammarCase{"a&b|c&r", {"SourceA", "SourceB", "BitAnd", "SourceC", "SourceR", "BitAnd", "BitOr", "Return"}},
        GrammarCase{"a>>b<<c", {"SourceA", "SourceB", "ShiftRight", "SourceC", "ShiftLeft", "Return"}},
        GrammarCase{"a<b>=c<=r>g",
                    {"SourceA", "SourceB", "Less", "SourceC", "GreaterEqual", "SourceR", "LessEqual", "SourceG",
                     "Greater", "Return"}},
        GrammarCase{"a/b*c%r",
                    {"SourceA", "SourceB", "Divide", "SourceC", "Multiply", "SourceR", "Remainder", "Return"}},
        GrammarCase{"a||b||c", {"SourceA", "SourceB", "LogicalOr", "SourceC", "LogicalOr", "Return"}},
        GrammarCase{"a&&b&&c", {"SourceA", "SourceB", "LogicalAnd", "SourceC", "LogicalAnd", "Return"}},
        GrammarCase{"-a*b", {"SourceA", "Negate", "SourceB", "Multiply", "Return"}},
        GrammarCase{"a--b", {"SourceA", "SourceB", "Negate", "Subtract", "Return"}},
        GrammarCase{"a+-+-b", {"SourceA", "SourceB", "Negate", "Negate", "Add", "Return"}},
        GrammarCase{"(a+b)*c", {"SourceA", "SourceB", "Add", "SourceC", "Multiply", "Return"}},
        GrammarCase{"((((x))))", {"X", "Return"}}, GrammarCase{"-(1)", {"Number:1", "Negate", "Return"}}));

INSTANTIATE_TEST_SUITE_P(
    ConditionalAndSequence, Grammar,
    testing::Values(
        GrammarCase{"a?b:c?r:g", {"SourceA", "SourceB", "SourceC", "SourceR", "SourceG", "Choose", "Choose", "Return"}},
        GrammarCase{"a?b?c:r:g", {"SourceA", "SourceB", "SourceC", "SourceR", "Choose", "SourceG", "Choose", "Return"}},
        GrammarCase{"a||b?c:r", {"SourceA", "SourceB", "LogicalOr", "SourceC", "SourceR", "Choose", "Return"}},
        GrammarCase{"1,a?b:c", {"Number:1", "Comma", "SourceA", "SourceB", "SourceC", "Choose", "Return"}},
        GrammarCase{"a?(b):(c)", {"SourceA", "SourceB", "SourceC", "Choose", "Return"}},
        GrammarCase{"x,y", {"X", "Comma", "Y", "Return"}}));

INSTANTIATE_TEST_SUITE_P(
    Calls, Grammar,
    testing::Values(
        GrammarCase{"min(1+2,max(3,4))",
                    {"Number:1", "Number:2", "Add", "Number:3", "Number:4", "Max", "Min", "Return"}},
        GrammarCase{"min(a?b:c,1)", {"SourceA", "SourceB", "SourceC", "Choose", "Number:1", "Min", "Return"}},
        GrammarCase{"abs(-x)", {"X", "Negate", "Abs", "Return"}}, GrammarCase{"abs ( x )", {"X", "Abs", "Return"}},
        GrammarCase{"sin(cos(t))", {"T", "Cos", "Sin", "Return"}},
        GrammarCase{"scl(x,0,X,0,255)", {"X", "Number:0", "XMax", "Number:0", "Number:255", "Scl", "Return"}},
        GrammarCase{"R+debug", {"ChannelTop", "Debug", "Add", "Return"}}));

INSTANTIATE_TEST_SUITE_P(
    Literals, Grammar,
    testing::Values(GrammarCase{"0x7fffffff+1", {"Number:2147483647", "Number:1", "Add", "Return"}},
                    GrammarCase{"0xffffffff", {"Number:-1", "Return"}}, GrammarCase{"017", {"Number:15", "Return"}},
                    GrammarCase{"4294967297", {"Number:1", "Return"}},
                    GrammarCase{"2147483648", {"Number:-2147483648", "Return"}},
                    GrammarCase{"0x", {"Number:0", "Return"}}));

// The exact bytes, built from the catalogue's own templates.
TEST(Emitter, RPlusGTimes2Is53BytesInPostfixOrder) {
    const auto compiled = Compile("r+g*2");
    const auto expected = Code({T("prolog"), T("r"), T("g"), L(2), T("*"), T("+"), T("epilog")});
    ASSERT_EQ(expected.size(), 53u);
    EXPECT_EQ(compiled.failed, 0);
    EXPECT_EQ(compiled.length, 53);
    EXPECT_EQ(Head(compiled.area, 53), expected);
    EXPECT_EQ(compiled.area[53], 0);  // nothing written past the code
}

struct BytesCase {
    const char* text;
    std::vector<uint8_t> code;
};

TEST(Emitter, EmitsExactlyTheTemplateBytes) {
    const BytesCase cases[] = {
        {"1,2,3", Code({T("prolog"), L(1), T(","), L(2), T(","), L(3), T("epilog")})},
        {"a?b:c", Code({T("prolog"), T("a"), T("b"), T("c"), T("?"), T("epilog")})},
        {"-x", Code({T("prolog"), T("x"), T("negate"), T("epilog")})},
        {"+x", Code({T("prolog"), T("x"), T("epilog")})},
        {"!!x", Code({T("prolog"), T("x"), T("!"), T("!"), T("epilog")})},
        {"a!=b", Code({T("prolog"), T("a"), T("b"), T("!="), T("epilog")})},
        {"a-b-c", Code({T("prolog"), T("a"), T("b"), T("-"), T("c"), T("-"), T("epilog")})},
        {"-0x80000000", Code({T("prolog"), L(INT32_MIN), T("negate"), T("epilog")})},
        {"sqrt(x)+sqr(y)", Code({T("prolog"), T("x"), T("sqrt"), T("y"), T("sqr"), T("+"), T("epilog")})},
        {"X+xmax", Code({T("prolog"), T("X"), T("xmax"), T("+"), T("epilog")})},
    };
    for (const BytesCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto compiled = Compile(c.text);
        EXPECT_EQ(compiled.failed, 0);
        EXPECT_EQ(compiled.length, static_cast<int32_t>(c.code.size()));
        EXPECT_EQ(Head(compiled.area, c.code.size()), c.code);
    }
}

// A context over a small area, as the driver would set it up.
struct SmallArea {
    uint8_t bytes[32] = {};
    CompileContext context{};
    explicit SmallArea(int32_t capacity) {
        context.token = kTokenIdentifier;
        context.codeStart = bytes;
        context.codePos = bytes;
        context.codeEnd = bytes + capacity;
        context.templates = kTemplateTable;
    }
    int32_t Used() const { return static_cast<int32_t>(context.codePos - context.codeStart); }
};

TEST(Emitter, EmitBytesWritesOnlyStrictlyBelowTheEnd) {
    const uint8_t data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    SmallArea area(10);
    EmitBytes(&area.context, data, 9);  // ends at 9 < 10
    EXPECT_EQ(area.Used(), 9);
    EXPECT_EQ(area.context.token, kTokenIdentifier);
    EmitBytes(&area.context, data, 1);  // would end at 10: refused
    EXPECT_EQ(area.context.token, kTokenError);
    EXPECT_EQ(area.Used(), kErrorSize);
    EXPECT_EQ(std::vector<uint8_t>(area.bytes, area.bytes + 3), (std::vector<uint8_t>{0x33, 0xC0, 0xC3}));
    EXPECT_EQ(area.bytes[3], 4);  // dropped bytes are not cleared
    EXPECT_EQ(area.bytes[9], 0);  // nothing at or past the end
}

TEST(Emitter, EmitTemplateOfAnUnknownNameRaisesTheError) {
    SmallArea area(32);
    EmitTemplate(&area.context, "x");
    EXPECT_EQ(area.Used(), 3);
    EmitTemplate(&area.context, "nosuch");
    EXPECT_EQ(area.context.token, kTokenError);
    EXPECT_EQ(area.Used(), kErrorSize);
    EXPECT_EQ(area.bytes[0], 0x33);
}

TEST(Emitter, EmitErrorRewindsAndWritesTheErrorTemplate) {
    SmallArea area(32);
    EmitTemplate(&area.context, "prolog");
    EmitTemplate(&area.context, "y");
    ASSERT_EQ(area.Used(), 18);
    EmitError(&area.context);
    EXPECT_EQ(area.Used(), 3);
    EXPECT_EQ(area.context.token, kTokenError);
    EXPECT_EQ(std::vector<uint8_t>(area.bytes, area.bytes + 3), (std::vector<uint8_t>{0x33, 0xC0, 0xC3}));
    EmitError(&area.context);  // again: the same
    EXPECT_EQ(area.Used(), 3);
}

TEST(Emitter, SmallestCapacityHoldsTheErrorTemplate) {
    SmallArea area(4);
    EmitTemplate(&area.context, "prolog");
    EXPECT_EQ(area.context.token, kTokenError);
    EXPECT_EQ(area.Used(), 3);
    EXPECT_EQ(area.bytes[3], 0);
}

}  // namespace
