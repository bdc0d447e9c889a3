// The compile driver: error spans, code lengths and the area a
// compile leaves, the 2047-byte budget wherever it overflows, the
// compile of all four formulas of a block, and the tokens with their spans.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CompilerTestSupport.h"

namespace {

using fablix_test::Code;
using fablix_test::Compile;
using fablix_test::Head;
using fablix_test::L;
using fablix_test::T;

using Bytes = std::vector<uint8_t>;

const Bytes kErrorEpilog = Code({T("error"), T("epilog")});

struct SpanCase {
    std::string text;
    int32_t failed;
    int32_t start;
    int32_t end;
    int32_t length;
    Bytes code;  // the whole code the area must hold
};

void PrintTo(const SpanCase& c, std::ostream* os) {
    *os << '"' << (c.text.size() > 40 ? c.text.substr(0, 40) + "..." : c.text) << '"';
}

class Spans : public testing::TestWithParam<SpanCase> {};

TEST_P(Spans, GiveTheSpanLengthAndCode) {
    const SpanCase& c = GetParam();
    const auto compiled = Compile(c.text);
    EXPECT_EQ(compiled.failed, c.failed);
    EXPECT_EQ(compiled.start, c.start);
    EXPECT_EQ(compiled.end, c.end);
    EXPECT_EQ(compiled.length, c.length);
    ASSERT_EQ(static_cast<int32_t>(c.code.size()), c.length);
    EXPECT_EQ(Head(compiled.area, c.code.size()), c.code);
    // An error drops what was emitted without clearing it; a success
    // writes nothing past its code.
    if (!c.failed) {
        for (size_t k = c.code.size(); k < compiled.area.size(); ++k) ASSERT_EQ(compiled.area[k], 0) << "byte " << k;
    }
}

std::string Ones(int32_t count) {
    std::string text = "1";
    for (int32_t i = 1; i < count; ++i) text += "+1";
    return text;
}

Bytes OnesCode(int32_t count) {
    Bytes bytes = Code({T("prolog"), L(1)});
    for (int32_t i = 1; i < count; ++i) {
        const Bytes more = Code({L(1), T("+")});
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    const Bytes epilog = Code({T("epilog")});
    bytes.insert(bytes.end(), epilog.begin(), epilog.end());
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Spans,
    testing::Values(SpanCase{"", 1, 0, 0, 10, kErrorEpilog},
                    SpanCase{"a=b", 1, 1, 2, 29, Code({T("prolog"), T("a"), T("epilog")})},
                    SpanCase{"r+$", 1, 2, 3, 13, Code({T("error"), T("+"), T("epilog")})},
                    SpanCase{"foo+1", 1, 0, 3, 10, kErrorEpilog},
                    SpanCase{"r g", 1, 2, 3, 29, Code({T("prolog"), T("r"), T("epilog")})},
                    SpanCase{"min(1)", 1, 5, 6, 10, kErrorEpilog},
                    SpanCase{"min(1,2)", 0, 8, 8, 36, Code({T("prolog"), L(1), L(2), T("min"), T("epilog")})},
                    SpanCase{"a?b", 1, 3, 3, 10, kErrorEpilog}, SpanCase{"(1,2)", 1, 2, 3, 10, kErrorEpilog},
                    SpanCase{"min(1,2,3)", 1, 7, 8, 10, kErrorEpilog}, SpanCase{"abs 5", 1, 4, 5, 10, kErrorEpilog},
                    SpanCase{"abs", 1, 3, 3, 10, kErrorEpilog}, SpanCase{Ones(225), 0, 449, 449, 2039, OnesCode(225)},
                    SpanCase{Ones(226), 1, 451, 451, 3, Code({T("error")})}));

INSTANTIATE_TEST_SUITE_P(
    MoreSpans, Spans,
    testing::Values(SpanCase{"x(1)", 1, 1, 2, 20, Code({T("prolog"), T("x"), T("epilog")})},
                    SpanCase{"1+2)", 1, 3, 4, 32, Code({T("prolog"), L(1), L(2), T("+"), T("epilog")})},
                    SpanCase{"a+", 1, 2, 2, 13, Code({T("error"), T("+"), T("epilog")})},
                    SpanCase{"1+2*$", 1, 4, 5, 16, Code({T("error"), T("*"), T("+"), T("epilog")})},
                    SpanCase{"-$", 1, 1, 2, 12, Code({T("error"), T("negate"), T("epilog")})},
                    SpanCase{"!$", 1, 1, 2, 20, Code({T("error"), T("!"), T("epilog")})},
                    SpanCase{"1?2:", 1, 4, 4, 18, Code({T("error"), T("?"), T("epilog")})},
                    SpanCase{"1?$:2", 1, 2, 3, 10, kErrorEpilog}, SpanCase{"min(1,$)", 1, 6, 7, 10, kErrorEpilog},
                    SpanCase{"min(1,2", 1, 7, 7, 10, kErrorEpilog}, SpanCase{"min 1", 1, 4, 5, 10, kErrorEpilog},
                    SpanCase{"min(1 2)", 1, 6, 7, 10, kErrorEpilog}, SpanCase{"(1", 1, 2, 2, 10, kErrorEpilog},
                    SpanCase{")", 1, 0, 1, 10, kErrorEpilog}, SpanCase{"?", 1, 0, 1, 10, kErrorEpilog},
                    SpanCase{"1,", 1, 2, 2, 10, kErrorEpilog}, SpanCase{"08", 1, 0, 2, 10, kErrorEpilog},
                    SpanCase{"1e5+1", 1, 0, 3, 10, kErrorEpilog},
                    SpanCase{"x==y=z", 1, 4, 5, 41, Code({T("prolog"), T("x"), T("y"), T("=="), T("epilog")})},
                    SpanCase{"x1", 1, 0, 2, 10, kErrorEpilog},
                    SpanCase{"  x  ", 0, 5, 5, 20, Code({T("prolog"), T("x"), T("epilog")})},
                    SpanCase{"x // note", 0, 9, 9, 20, Code({T("prolog"), T("x"), T("epilog")})},
                    SpanCase{"x // note\r\n+1", 0, 13, 13, 29, Code({T("prolog"), T("x"), L(1), T("+"), T("epilog")})},
                    SpanCase{"x // note\n+1", 0, 12, 12, 20, Code({T("prolog"), T("x"), T("epilog")})},
                    SpanCase{"r\x80", 1, 1, 2, 29, Code({T("prolog"), T("r"), T("epilog")})},
                    SpanCase{"r+\x0b", 1, 2, 3, 13, Code({T("error"), T("+"), T("epilog")})},
                    // an identifier cut to 255 characters: the span covers the last 255
                    SpanCase{std::string(300, 'q'), 1, 45, 300, 10, kErrorEpilog},
                    SpanCase{"x+" + std::string(300, 'q'), 1, 47, 302, 13, Code({T("error"), T("+"), T("epilog")})}));

// The structural names and "negate" are no values: a formula naming one
// fails at the name, and its area begins with "error".
INSTANTIATE_TEST_SUITE_P(
    StructuralNames, Spans,
    testing::Values(SpanCase{"prolog+1", 1, 0, 6, 10, kErrorEpilog}, SpanCase{"prolog", 1, 0, 6, 10, kErrorEpilog},
                    SpanCase{"epilog", 1, 0, 6, 10, kErrorEpilog}, SpanCase{"number", 1, 0, 6, 10, kErrorEpilog},
                    SpanCase{"error", 1, 0, 5, 10, kErrorEpilog}, SpanCase{"negate", 1, 0, 6, 10, kErrorEpilog},
                    SpanCase{"1+error", 1, 2, 7, 13, Code({T("error"), T("+"), T("epilog")})},
                    SpanCase{"x,number", 1, 2, 8, 10, kErrorEpilog},
                    SpanCase{"-negate", 1, 1, 7, 12, Code({T("error"), T("negate"), T("epilog")})},
                    SpanCase{"min(epilog,1)", 1, 4, 10, 10, kErrorEpilog}));

// A success leaves errorStart = errorEnd = the text's length.
TEST(CompileFormula, SuccessLeavesBothOffsetsAtTheLength) {
    for (const char* text :
         {"x", "r+g*2", "1,2,3", "a?b:c", "sin(x)+cos(y) ", "min(1,2)\t\r\n", "-~!x", "0x7fffffff+1", "debug+5"}) {
        const auto compiled = Compile(text);
        EXPECT_EQ(compiled.failed, 0) << text;
        EXPECT_EQ(compiled.start, static_cast<int32_t>(std::strlen(text))) << text;
        EXPECT_EQ(compiled.end, static_cast<int32_t>(std::strlen(text))) << text;
        EXPECT_TRUE(HasCompiledCode(compiled.area.data())) << text;
    }
}

// The offsets count from the start offset given.
TEST(CompileFormula, OffsetsCountFromTheStartOffset) {
    const char text[] = "zzz r+$ zzz";
    int32_t start = 4, end = 7, capacity = kCodeAreaSize;
    Bytes area(kCodeAreaSize, 0);
    EXPECT_EQ(CompileFormula(text, &start, &end, area.data(), &capacity), false);
    EXPECT_EQ(start, 2);
    EXPECT_EQ(end, 3);
    EXPECT_EQ(capacity, 13);

    start = 4, end = 5, capacity = kCodeAreaSize;
    EXPECT_EQ(CompileFormula(text, &start, &end, area.data(), &capacity), true);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(capacity, 10 + 12 + 7);  // "r": the "+" is outside the range
}

// A capacity of C holds at most C - 1 bytes of code.
TEST(CompileFormula, CapacityHoldsOneByteLessThanItself) {
    {
        const auto compiled = Compile("r", 30);
        EXPECT_EQ(compiled.failed, 0);
        EXPECT_EQ(compiled.length, 29);
    }
    {
        const auto compiled = Compile("r", 29);
        EXPECT_EQ(compiled.failed, 1);
        EXPECT_EQ(compiled.start, 1);
        EXPECT_EQ(compiled.end, 1);
        EXPECT_EQ(compiled.length, 3);
        EXPECT_EQ(Head(compiled.area, 3), Code({T("error")}));
    }
}

// Code of exactly `cost` bytes, ending in ",": bulk of "d," (117 bytes),
// then "x," (4) and "xmin," (5) to the byte.
std::string Filler(int32_t cost) {
    std::string text;
    int32_t rest = cost;
    while (rest - 117 >= 12) {
        text += "d,";
        rest -= 117;
    }
    const int32_t fives = rest % 4;
    const int32_t fours = (rest - 5 * fives) / 4;
    EXPECT_GE(fours, 0);
    for (int32_t i = 0; i < fives; ++i) text += "xmin,";
    for (int32_t i = 0; i < fours; ++i) text += "x,";
    return text;
}

struct BudgetCase {
    const char* where;
    const char* tail;  // after the filler
    int32_t cost;      // code bytes of the filler
    int32_t failed;
    int32_t start;  // span, counted from the end of the filler
    int32_t end;
    int32_t length;  // code length
};

void PrintTo(const BudgetCase& c, std::ostream* os) { *os << c.where; }

class Budget : public testing::TestWithParam<BudgetCase> {};

TEST_P(Budget, Fits2047BytesAndFailsOneByteMoreWhereverItOverflows) {
    const BudgetCase& c = GetParam();
    const std::string filler = Filler(c.cost);
    {  // the filler costs what it claims (measured in a larger area)
        const auto probe = Compile(filler + "x", 2 * kCodeAreaSize);
        ASSERT_EQ(probe.length, 10 + c.cost + 3 + 7);
    }
    const std::string text = filler + c.tail;
    ASSERT_LT(text.size(), 1024u);
    const auto compiled = Compile(text);
    const int32_t base = static_cast<int32_t>(filler.size());
    EXPECT_EQ(compiled.failed, c.failed);
    EXPECT_EQ(compiled.start, base + c.start);
    EXPECT_EQ(compiled.end, base + c.end);
    EXPECT_EQ(compiled.length, c.length);
    EXPECT_EQ(compiled.area[kCodeAreaSize - 1], 0);  // the last byte is never written
    auto program = std::make_unique<Program>();
    if (c.failed) {
        EXPECT_EQ(Head(compiled.area, 3), Code({T("error")}));
        EXPECT_FALSE(HasCompiledCode(compiled.area.data()));
        EXPECT_EQ(DecodeCodeArea(compiled.area.data(), kCodeAreaSize, program.get()), kDecodeFailed);
    } else {
        EXPECT_TRUE(HasCompiledCode(compiled.area.data()));
        EXPECT_EQ(DecodeCodeArea(compiled.area.data(), kCodeAreaSize, program.get()), kDecodeCompiled);
        EXPECT_EQ(Bytes(compiled.area.begin() + 2040, compiled.area.begin() + 2047), Code({T("epilog")}));
    }
}

INSTANTIATE_TEST_SUITE_P(AtEveryKindOfEmission, Budget,
                         testing::Values(BudgetCase{"variable, exactly 2047", "x", 2027, 0, 1, 1, 2047},
                                         BudgetCase{"epilog after a variable", "x", 2028, 1, 1, 1, 3},
                                         BudgetCase{"function, exactly 2047", "abs(x)", 2018, 0, 6, 6, 2047},
                                         BudgetCase{"epilog after a function", "abs(x)", 2019, 1, 6, 6, 3},
                                         BudgetCase{"literal, exactly 2047", "5", 2024, 0, 1, 1, 2047},
                                         BudgetCase{"epilog after a literal", "5", 2025, 1, 1, 1, 3},
                                         BudgetCase{"variable template", "y+1", 2030, 1, 1, 2, 10},
                                         // the literal's four bytes are still appended behind the "error"
                                         BudgetCase{"number template", "5", 2036, 1, 0, 1, 14},
                                         BudgetCase{"literal's value bytes", "5", 2032, 1, 0, 1, 10},
                                         BudgetCase{"binary operator", "(x+x)", 2029, 1, 4, 5, 10},
                                         BudgetCase{"unary operator", "(-x)", 2033, 1, 3, 4, 10},
                                         BudgetCase{"function template", "abs(x)+1", 2026, 1, 6, 7, 10},
                                         BudgetCase{"sequence comma", "x,x", 2034, 1, 1, 2, 10},
                                         BudgetCase{"conditional", "(1?2:3)", 2012, 1, 6, 7, 10}));

TEST(CompileFormula, The225OnesFitAndThe226thDoesNot) {
    // 10 + 225 * 6 + 224 * 3 + 7 = 2039; one more "+1" needs 9, so the
    // code is 2041 bytes before the epilog, which then would end at 2048.
    const auto fits = Compile(Ones(225));
    EXPECT_EQ(fits.failed, 0);
    EXPECT_EQ(fits.length, 2039);
    const auto fails = Compile(Ones(226));
    EXPECT_EQ(fails.failed, 1);
    EXPECT_EQ(fails.start, fails.end);
    EXPECT_EQ(fails.end, 451);
}

std::unique_ptr<InstanceState> NewState() {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), 0, sizeof(InstanceState));
    return state;
}

// The record is packed: its fields are read by value (EXPECT_EQ(+field, ...))
// since a reference to a misaligned int is undefined.
void SetFormula(InstanceState* state, int32_t i, const std::string& text) {
    ASSERT_LT(text.size(), static_cast<size_t>(kFormulaSlotSize));
    std::memset(state->params.formula[i], 0, kFormulaSlotSize);
    std::memcpy(state->params.formula[i], text.data(), text.size());
}

TEST(CompileFormulas, RecordsAllFourWhenFormula1Fails) {
    auto state = NewState();
    SetFormula(state.get(), 0, "r");
    SetFormula(state.get(), 1, "r+$");
    SetFormula(state.get(), 2, "x g");
    SetFormula(state.get(), 3, "sin(x)");
    for (auto& area : state->codeAreas) std::memset(area, 0xEE, kCodeAreaSize);  // stale code
    state->recompileNeeded = 1;
    state->previewDirty = 0;
    state->animate = 7;
    state->animationPhase = 5;

    CompileFormulas(state.get(), &state->params);

    const int32_t failed[] = {0, 1, 1, 0};
    const int32_t start[] = {1, 2, 2, 6};
    const int32_t end[] = {1, 3, 3, 6};
    const int32_t length[] = {29, 13, 20, 50};
    const Bytes code[] = {Code({T("prolog"), T("r"), T("epilog")}), Code({T("error"), T("+"), T("epilog")}),
                          Code({T("prolog"), T("x"), T("epilog")}), Code({T("prolog"), T("x"), T("sin"), T("epilog")})};
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        SCOPED_TRACE("formula " + std::to_string(i));
        EXPECT_EQ(+state->compileFailed[i], failed[i]);
        EXPECT_EQ(+state->errorStart[i], start[i]);
        EXPECT_EQ(+state->errorEnd[i], end[i]);
        EXPECT_EQ(+state->codeLength[i], length[i]);
        const Bytes area(state->codeAreas[i], state->codeAreas[i] + kCodeAreaSize);
        EXPECT_EQ(Head(area, code[i].size()), code[i]);
        EXPECT_EQ(area[kCodeAreaSize - 1], 0xEE);  // never written
    }
    EXPECT_EQ(+state->recompileNeeded, 0);
    EXPECT_EQ(+state->previewDirty, 1);
    EXPECT_EQ(+state->animate, 7);
    EXPECT_EQ(+state->animationPhase, 5);
    EXPECT_TRUE(HasCompiledCode(state->codeAreas[0]));
    EXPECT_FALSE(HasCompiledCode(state->codeAreas[1]));
}

TEST(CompileFormulas, EmptyFormulasFailAtOffsetZero) {
    auto state = NewState();
    CompileFormulas(state.get(), &state->params);
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        EXPECT_EQ(+state->compileFailed[i], 1);
        EXPECT_EQ(+state->errorStart[i], 0);
        EXPECT_EQ(+state->errorEnd[i], 0);
        EXPECT_EQ(+state->codeLength[i], 10);
        EXPECT_EQ(Head(Bytes(state->codeAreas[i], state->codeAreas[i] + 10), 10), kErrorEpilog);
    }
    EXPECT_FALSE(HasCompiledCode(state->codeAreas[0]));
}

TEST(CompileFormulas, CompilesTheDefaultBlock) {
    auto state = NewState();
    SetFormula(state.get(), 0,
               "sin((x-scl(cos(y),-511,512,0,Y))*val(4,0,64))-"
               "sin((y-scl(cos(x),-511,512,0,X))*val(5,0,64))");
    SetFormula(state.get(), 1,
               "sin((x-scl(cos(y),-511,512,0,Y))*val(2,0,64))-"
               "sin((y-scl(cos(x),-511,512,0,X))*val(3,0,64))");
    SetFormula(state.get(), 2,
               "sin((x-scl(cos(y),-511,512,0,Y))*val(0,0,64))-"
               "sin((y-scl(cos(x),-511,512,0,X))*val(1,0,64))");
    SetFormula(state.get(), 3, "a");
    CompileFormulas(state.get(), &state->params);
    const int32_t length[] = {364, 364, 364, 29};
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        SCOPED_TRACE("formula " + std::to_string(i));
        const int32_t n = static_cast<int32_t>(std::strlen(state->params.formula[i]));
        EXPECT_EQ(+state->compileFailed[i], 0);
        EXPECT_EQ(+state->errorStart[i], n);
        EXPECT_EQ(+state->errorEnd[i], n);
        EXPECT_EQ(+state->codeLength[i], length[i]);
    }
}

// A formula of the full 1023 characters is compiled to its end.
TEST(CompileFormulas, FullLengthFormula) {
    auto state = NewState();
    SetFormula(state.get(), 2, "x" + std::string(1021, ' ') + "y");
    CompileFormulas(state.get(), &state->params);
    EXPECT_EQ(+state->compileFailed[2], 1);
    EXPECT_EQ(+state->errorStart[2], 1022);
    EXPECT_EQ(+state->errorEnd[2], 1023);
    SetFormula(state.get(), 2, "x" + std::string(1022, ' '));
    CompileFormulas(state.get(), &state->params);
    EXPECT_EQ(+state->compileFailed[2], 0);
    EXPECT_EQ(+state->errorStart[2], 1023);
    EXPECT_EQ(+state->errorEnd[2], 1023);
}

// Each token of a text as ScanFormulaToken cuts it, from 0 and then from
// each token's end, with its span; and that a failed compile stops at one
// of those spans.
struct TokenCase {
    std::string text;
    std::vector<std::string> tokens;  // "kind text [start,end)" up to the end token
    int32_t failedAt;                 // the token a compile stops at, or -1 when it compiles
};

std::string Shown(const FormulaToken& token) {
    return std::to_string(token.token) + " " + std::string(token.text, size_t(token.length)) + " [" +
           std::to_string(token.start) + "," + std::to_string(token.end) + ")";
}

TEST(ScanFormulaToken, CutsTheTextAsACompileDoes) {
    const std::string longName(300, 'q');
    const TokenCase cases[] = {
        {"r + 12", {"3 r [0,1)", "23 + [2,3)", "4 12 [4,6)", "1  [6,6)"}, -1},
        {"x//c\ry", {"3 x [0,1)", "3 y [5,6)", "1  [6,6)"}, 1},
        {"1+$", {"4 1 [0,1)", "23 + [1,2)", "2 $ [2,3)", "1  [3,3)"}, 2},
        {"a = b", {"3 a [0,1)", "2 = [2,3)", "3 b [4,5)", "1  [5,5)"}, 1},
        {longName + "+", {"3 " + std::string(255, 'q') + " [45,300)", "23 + [300,301)", "1  [301,301)"}, 0},
        {"", {"1  [0,0)"}, 0},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        const int32_t length = static_cast<int32_t>(c.text.size());
        std::vector<FormulaToken> tokens;
        for (int32_t from = 0; tokens.size() < 8 && (tokens.empty() || tokens.back().token != kTokenEnd);
             from = tokens.back().end)
            tokens.push_back(ScanFormulaToken(c.text.data(), length, from));
        std::vector<std::string> shown;
        for (const FormulaToken& token : tokens) shown.push_back(Shown(token));
        EXPECT_EQ(shown, c.tokens);
        const auto compiled = Compile(c.text);
        EXPECT_EQ(compiled.failed, c.failedAt >= 0 ? 1 : 0);
        if (c.failedAt < 0 || size_t(c.failedAt) >= tokens.size()) continue;
        EXPECT_EQ(compiled.start, tokens[size_t(c.failedAt)].start);
        EXPECT_EQ(compiled.end, tokens[size_t(c.failedAt)].end);
    }
}

}  // namespace
