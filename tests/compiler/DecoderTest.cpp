// The decoder (code area -> Program): every catalogue row that a formula
// can use compiles and decodes to its operation; zeroed, failed, foreign
// and malformed areas decode to "return 0"; the has-compiled-code test.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CompilerTestSupport.h"

namespace {

using fablix_test::Code;
using fablix_test::Compile;
using fablix_test::DecodedOps;
using fablix_test::Head;
using fablix_test::L;
using fablix_test::OpNames;
using fablix_test::T;
using fablix_test::TemplateBytes;

using Bytes = std::vector<uint8_t>;
using Ops = std::vector<std::string>;

enum Use {
    kValue,     // the name alone
    kFunction,  // name(1, 2, ..., n)
    kBinary,    // 1 op 2
    kUnary,     // op 1
    kNegate,    // -1
    kComma,     // 1,2
    kChoose,    // 1?2:3
};

struct UsableRow {
    const char* name;
    Use use;
    const char* op;  // the operation it decodes to
};

// Every row a formula can reach, with the operation of its body.
// The formatter keeps this as laid out: the rows grouped as the catalogue lists them.
// clang-format off
const UsableRow kUsable[] = {
    {"x", kValue, "X"}, {"xmin", kValue, "XMin"}, {"xmax", kValue, "XMax"}, {"X", kValue, "XMax"},
    {"y", kValue, "Y"}, {"ymin", kValue, "YMin"}, {"ymax", kValue, "YMax"}, {"Y", kValue, "YMax"},
    {"p", kValue, "P"}, {"pmin", kValue, "PMin"}, {"pmax", kValue, "PMax"}, {"P", kValue, "PMax"},
    {"t", kValue, "T"}, {"tmin", kValue, "TMin"}, {"tmax", kValue, "Total"},
    {"total", kValue, "Total"}, {"T", kValue, "Total"},
    {"a0", kValue, "SourceA"}, {"a", kValue, "SourceA"}, {"r0", kValue, "SourceR"},
    {"r", kValue, "SourceR"}, {"g0", kValue, "SourceG"}, {"g", kValue, "SourceG"},
    {"b0", kValue, "SourceB"}, {"b", kValue, "SourceB"}, {"c0", kValue, "SourceC"},
    {"c", kValue, "SourceC"}, {"a1", kValue, "SourceA"}, {"r1", kValue, "SourceR"},
    {"g1", kValue, "SourceG"}, {"b1", kValue, "SourceB"}, {"c1", kValue, "SourceC"},
    {"R", kValue, "ChannelTop"}, {"G", kValue, "ChannelTop"}, {"B", kValue, "ChannelTop"},
    {"C", kValue, "ChannelTop"},
    {"dmin", kValue, "DMin"}, {"mmin", kValue, "MMin"}, {"D", kValue, "DMax"},
    {"dmax", kValue, "DMax"}, {"d", kValue, "D"}, {"M", kValue, "MMax"},
    {"mmax", kValue, "MMax"}, {"m", kValue, "M"},
    {"i", kValue, "I"}, {"i0", kValue, "I"}, {"u", kValue, "U"}, {"u0", kValue, "U"},
    {"v", kValue, "V"}, {"v0", kValue, "V"}, {"i1", kValue, "I"}, {"u1", kValue, "U"},
    {"v1", kValue, "V"},
    {"+", kBinary, "Add"}, {"-", kBinary, "Subtract"}, {"*", kBinary, "Multiply"},
    {"/", kBinary, "Divide"}, {"%", kBinary, "Remainder"}, {"negate", kNegate, "Negate"},
    {"&&", kBinary, "LogicalAnd"}, {"||", kBinary, "LogicalOr"}, {"!", kUnary, "Not"},
    {"~", kUnary, "Complement"}, {"&", kBinary, "BitAnd"}, {"|", kBinary, "BitOr"},
    {"^", kBinary, "BitXor"}, {"<<", kBinary, "ShiftLeft"}, {">>", kBinary, "ShiftRight"},
    {"==", kBinary, "Equal"}, {"!=", kBinary, "NotEqual"}, {"<", kBinary, "Less"},
    {"<=", kBinary, "LessEqual"}, {">", kBinary, "Greater"}, {">=", kBinary, "GreaterEqual"},
    {",", kComma, "Comma"}, {"?", kChoose, "Choose"},
    {"min", kFunction, "Min"}, {"max", kFunction, "Max"}, {"abs", kFunction, "Abs"},
    {"add", kFunction, "AddCapped"}, {"sub", kFunction, "SubFloored"},
    {"dif", kFunction, "Dif"}, {"ctl", kFunction, "Ctl"}, {"val", kFunction, "Val"},
    {"map", kFunction, "Map"}, {"scl", kFunction, "Scl"}, {"sqr", kFunction, "Sqrt"},
    {"sqrt", kFunction, "Sqrt"}, {"get", kFunction, "Get"}, {"put", kFunction, "Put"},
    {"rnd", kFunction, "Rnd"}, {"rad", kFunction, "Rad"}, {"rad0", kFunction, "Rad"},
    {"src", kFunction, "Src"}, {"src0", kFunction, "Src"}, {"rad1", kFunction, "Rad1"},
    {"src1", kFunction, "Src"}, {"mix", kFunction, "Mix"}, {"cnv0", kFunction, "Cnv"},
    {"cnv", kFunction, "Cnv"}, {"cnv1", kFunction, "Cnv"}, {"c2m", kFunction, "C2m"},
    {"c2d", kFunction, "C2d"}, {"r2y", kFunction, "R2y"}, {"r2x", kFunction, "R2x"},
    {"tan", kFunction, "Tan"}, {"sin", kFunction, "Sin"}, {"cos", kFunction, "Cos"},
    {"debug", kValue, "Debug"},
};
// clang-format on

struct Expected {
    std::string formula;
    Ops ops;
    Bytes body;  // the code between prolog and epilog
    int32_t maxDepth;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Expected Build(const UsableRow& row, int32_t arity) {
    const Bytes code = TemplateBytes(row.name);
    const std::string name = row.name;
    switch (row.use) {
    case kValue: return {name, {row.op, "Return"}, code, 1};
    case kFunction: {
        Expected e{name + "(", {}, {}, arity};
        for (int32_t k = 1; k <= arity; ++k) {
            e.formula += std::to_string(k) + (k < arity ? "," : ")");
            e.ops.push_back("Number:" + std::to_string(k));
            e.body = Concat({e.body, Code({L(k)})});
        }
        e.ops.push_back(row.op);
        e.ops.push_back("Return");
        e.body = Concat({e.body, code});
        return e;
    }
    case kBinary:
        return {"1" + name + "2", {"Number:1", "Number:2", row.op, "Return"}, Concat({Code({L(1), L(2)}), code}), 2};
    case kUnary: return {name + "1", {"Number:1", row.op, "Return"}, Concat({Code({L(1)}), code}), 1};
    case kNegate: return {"-1", {"Number:1", row.op, "Return"}, Concat({Code({L(1)}), code}), 1};
    case kComma:
        return {"1,2", {"Number:1", row.op, "Number:2", "Return"}, Concat({Code({L(1)}), code, Code({L(2)})}), 1};
    case kChoose:
        return {"1?2:3",
                {"Number:1", "Number:2", "Number:3", row.op, "Return"},
                Concat({Code({L(1), L(2), L(3)}), code}),
                3};
    }
    return {};
}

TEST(DecodeEveryTemplate, EveryUsableRowIsCovered) {
    std::map<std::string, const UsableRow*> usable;
    for (const UsableRow& row : kUsable) usable[row.name] = &row;
    EXPECT_EQ(usable.size(), sizeof(kUsable) / sizeof(kUsable[0]));  // no duplicates
    for (int32_t i = 0; i < kTemplateRowCount; ++i) {
        const std::string name = kTemplateTable[i].name;
        const bool structural = name == "prolog" || name == "epilog" || name == "number" || name == "error";
        EXPECT_EQ(usable.count(name), structural ? 0u : 1u) << name;
    }
    EXPECT_EQ(usable.size() + 4, static_cast<size_t>(kTemplateRowCount));
}

TEST(DecodeEveryTemplate, CompilesAndDecodesToItsOperation) {
    for (const UsableRow& row : kUsable) {
        const Template* entry = FindRow(kTemplateTable, row.name);
        ASSERT_NE(entry, nullptr) << row.name;
        EXPECT_EQ(entry->arity > 0, row.use == kFunction) << row.name;
        const Expected e = Build(row, entry->arity);
        SCOPED_TRACE("\"" + e.formula + "\"");
        const auto compiled = Compile(e.formula);
        EXPECT_EQ(compiled.failed, 0);
        EXPECT_EQ(compiled.start, static_cast<int32_t>(e.formula.size()));
        const Bytes whole = Concat({Code({T("prolog")}), e.body, Code({T("epilog")})});
        EXPECT_EQ(compiled.length, static_cast<int32_t>(whole.size()));
        EXPECT_EQ(Head(compiled.area, whole.size()), whole);

        auto program = std::make_unique<Program>();
        ASSERT_EQ(DecodeCodeArea(compiled.area.data(), kCodeAreaSize, program.get()), kDecodeCompiled);
        EXPECT_EQ(OpNames(*program), e.ops);
        EXPECT_EQ(program->maxDepth, e.maxDepth);
        EXPECT_TRUE(HasCompiledCode(compiled.area.data()));
    }
}

// The decoder reads only the area's code: the capacity may be the code
// length exactly, and one byte less is not compiled code.
TEST(Decoder, CapacityExactlyTheCodeLength) {
    const auto compiled = Compile("sin(x)+cnv(1,2,3,4,5,6,7,8,9,10)");
    ASSERT_EQ(compiled.failed, 0);
    auto program = std::make_unique<Program>();
    EXPECT_EQ(DecodeCodeArea(compiled.area.data(), compiled.length, program.get()), kDecodeCompiled);
    EXPECT_EQ(program->count, 15);  // X, Sin, ten literals, Cnv, Add, Return
    EXPECT_EQ(program->maxDepth, 11);
    EXPECT_EQ(DecodeCodeArea(compiled.area.data(), compiled.length - 1, program.get()), kDecodeNoCode);
    EXPECT_EQ(OpNames(*program), (Ops{"Number:0", "Return"}));
}

TEST(Decoder, LiteralBytesAreNeverTakenForTemplates) {
    struct Case {
        const char* text;
        Ops ops;
    };
    const Case cases[] = {
        {"0x5F5DE58B", {"Number:1599989131", "Return"}},   // the epilog's first bytes
        {"0x55575653", {"Number:1431787091", "Return"}},   // the prolog's
        {"0xC3C03350", {"Number:-1010814128", "Return"}},  // "number", "error"
        {"0xA0A0A0A0+1", {"Number:-1600085856", "Number:1", "Add", "Return"}},
        {"0xCCCCCCCC", {"Number:-858993460", "Return"}},  // filler
    };
    for (const Case& c : cases) {
        const auto compiled = Compile(c.text);
        EXPECT_EQ(compiled.failed, 0) << c.text;
        EXPECT_EQ(DecodedOps(compiled.area), c.ops) << c.text;
    }
}

TEST(Decoder, LeftOverTextKeepsWorkingCode) {
    const auto compiled = Compile("r g");
    EXPECT_EQ(compiled.failed, 1);
    EXPECT_EQ(DecodedOps(compiled.area), (Ops{"SourceR", "Return"}));
}

void ExpectReturnZero(const Bytes& area, int32_t capacity, DecodeResult expected) {
    auto program = std::make_unique<Program>();
    program->count = 77;
    EXPECT_EQ(DecodeCodeArea(area.data(), capacity, program.get()), expected);
    EXPECT_EQ(OpNames(*program), (Ops{"Number:0", "Return"}));
    EXPECT_EQ(program->count, 2);
    EXPECT_EQ(program->maxDepth, 1);
}

TEST(Decoder, ZeroedAreaHasNoCode) {
    const Bytes area(kCodeAreaSize, 0);
    ExpectReturnZero(area, kCodeAreaSize, kDecodeNoCode);
    EXPECT_FALSE(HasCompiledCode(area.data()));
}

TEST(Decoder, FailedAreaRunsAsReturnZero) {
    for (const char* text : {"", "$", "r+$", "foo", "number", "a?b", "min(1)"}) {
        SCOPED_TRACE(text);
        const auto compiled = Compile(text);
        ASSERT_EQ(compiled.failed, 1);
        ExpectReturnZero(compiled.area, kCodeAreaSize, kDecodeFailed);
        EXPECT_FALSE(HasCompiledCode(compiled.area.data()));
    }
}

TEST(Decoder, MalformedAreasHaveNoCode) {
    const Bytes prolog = Code({T("prolog")});
    const Bytes epilog = Code({T("epilog")});
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"foreign bytes", Bytes(64, 0xFF)},
        {"prolog, then zeros", prolog},
        {"no epilog", Concat({prolog, TemplateBytes("x")})},
        {"an operator on an empty stack", Concat({prolog, TemplateBytes("+"), epilog})},
        {"a broken epilog", Concat({prolog, TemplateBytes("x"), Bytes{0x8B, 0xE5, 0x5D, 0x00}})},
        {"a broken number", Concat({prolog, Bytes{0x50, 0x00, 1, 0, 0, 0}, epilog})},
        {"a byte past every operation", Concat({prolog, Bytes{0xFF}, epilog})},
        {"the structural Return byte",
         Concat({prolog, Bytes{static_cast<uint8_t>(kOpBase + static_cast<uint8_t>(Op::Return))}, epilog})},
        {"only five prolog bytes", Bytes(prolog.begin(), prolog.begin() + 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes area(kCodeAreaSize, 0);
        std::copy(c.bytes.begin(), c.bytes.end(), area.begin());
        ExpectReturnZero(area, kCodeAreaSize, kDecodeNoCode);
    }
}

TEST(Decoder, TruncatedCapacityHasNoCode) {
    const auto compiled = Compile("1+2");
    ASSERT_EQ(compiled.failed, 0);
    for (int32_t capacity : {0, 2, 5, 9, 10, 12, 15, compiled.length - 1}) {
        SCOPED_TRACE(capacity);
        ExpectReturnZero(compiled.area, capacity, kDecodeNoCode);
    }
    const Bytes error = Code({T("error")});
    ExpectReturnZero(error, 3, kDecodeFailed);
    ExpectReturnZero(error, 2, kDecodeNoCode);
}

// The cells rule, proved per program and followed across the channels in
// their order: every "get" of a pixel reads a cell that an earlier "put" of
// the pixel stored to, both named by literals. Programs that just miss it
// are beside those that hold to it.
TEST(Decoder, ProvesWhetherCellsStayInThePixel) {
    const struct {
        const char* formulas[kFormulaCount];
        bool inPixel;
    } kCases[] = {
        {{"c", "g", "r", "a"}, true},  // no cells at all
        {{"put(x*3,0)", "get(0)", "get(0)+c", "a"}, true},
        {{"put(c,7),put(x,1)", "get(1)*get(7)", "put(y,7)+get(7)", "get(1)"}, true},
        {{"x>3?put(x,0):0", "get(0)", "c", "a"}, true},           // "?:" runs every operand: the "put" too
        {{"put(x,1+2)", "get(5-2)", "get(0-(0-3))", "a"}, true},  // names made of literals alone
        {{"put(x,7/2)", "get((1<<3)%5)", "get(max(3,0-9)*(2>1))", "a"}, true},  // ... of any folding operator
        {{"put(x,300)", "get(300)+get(0-1)", "c", "a"}, true},      // cells outside 0..255: nothing stored, 0 read
        {{"b", "g", "put(r,9),get(9)", "get(9)"}, true},            // a put in a later channel, gets after it
        {{"get(0)+put(x,0)", "get(0)", "c", "a"}, false},           // a get before its put
        {{"get(0)", "put(x,0)", "c", "a"}, false},                  // the put in a later channel
        {{"put(x,1)", "get(0)", "c", "a"}, false},                  // another cell
        {{"put(x,2*2)", "get(2+1)", "c", "a"}, false},              // literals that name another cell
        {{"put(x,x%2)", "get(0)", "get(1)", "a"}, false},           // a cell named by the pixel
        {{"put(x,0)", "get(y%2)", "c", "a"}, false},                // ... or by the row
        {{"put(x,ctl(0))", "get(ctl(0))", "c", "a"}, false},        // ... or by a slider, which changes by frame
        {{"put(x,0)", "c", "g", "put(x,1),get(1)+get(2)"}, false},  // the last channel reads a cell none stored
    };
    for (const auto& c : kCases) {
        CellFacts pixel{};
        for (int32_t i = 0; i < kFormulaCount; ++i) {
            const auto compiled = Compile(c.formulas[i]);
            ASSERT_EQ(compiled.failed, 0) << c.formulas[i];
            auto program = std::make_unique<Program>();
            ASSERT_EQ(DecodeCodeArea(compiled.area.data(), kCodeAreaSize, program.get()), kDecodeCompiled);
            if (i == 0)
                pixel = program->cells;
            else
                FollowCellFacts(&pixel, program->cells);
        }
        EXPECT_EQ(CellsStayInPixel(pixel), c.inPixel)
            << c.formulas[0] << " | " << c.formulas[1] << " | " << c.formulas[2] << " | " << c.formulas[3];
    }
    // Areas without code run as "return 0", which names no cell.
    auto program = std::make_unique<Program>();
    const Bytes zeroed(kCodeAreaSize, 0);
    DecodeCodeArea(zeroed.data(), kCodeAreaSize, program.get());
    EXPECT_TRUE(CellsStayInPixel(program->cells));
}

TEST(HasCompiledCode, IsTheSixByteTest) {
    Bytes area(kCodeAreaSize, 0);
    const Bytes sign = {0x53, 0x56, 0x57, 0x55, 0x8B, 0xEC};
    std::copy(sign.begin(), sign.end(), area.begin());
    EXPECT_TRUE(HasCompiledCode(area.data()));  // the rest does not matter
    for (size_t k = 0; k < sign.size(); ++k) {
        Bytes changed = area;
        changed[k] ^= 0x01;
        EXPECT_FALSE(HasCompiledCode(changed.data())) << "byte " << k;
    }
    EXPECT_FALSE(HasCompiledCode(Code({T("error"), T("epilog")}).data()));
    EXPECT_TRUE(HasCompiledCode(Compile("x").area.data()));
}

}  // namespace
