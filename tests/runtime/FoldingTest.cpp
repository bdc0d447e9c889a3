// What the specialiser folds, and that it leaves what varies.
#include <gtest/gtest.h>

#include <vector>

#include "RuntimeSupport.h"
#include "Folding.h"

namespace {

std::vector<Op> Ops(const Program& program) {
    std::vector<Op> ops;
    for (int32_t i = 0; i < program.count; ++i) ops.push_back(program.code[i].op);
    return ops;
}

struct Specialized {
    std::unique_ptr<InstanceState> state = NewState();
    std::unique_ptr<Program> decoded = std::make_unique<Program>();
    std::unique_ptr<Program> frame = std::make_unique<Program>();
    std::unique_ptr<Program> row = std::make_unique<Program>();

    explicit Specialized(const char* formula) {
        state->xMax = 640;
        state->yMax = 480;
        state->channelMax = 4;
        state->sliderValues[4] = 54;
        state->row = 100;
        Compile(state.get(), 0, formula);
        DecodeCodeArea(state->codeAreas[0], kCodeAreaSize, decoded.get());
        SpecializeProgram(decoded.get(), state.get(), kForFrame, frame.get());
        SpecializeProgram(frame.get(), state.get(), kForRow, row.get());
    }
};

TEST(Specialize, FoldsFrameConstantsIntoLiteralForms) {
    Specialized s("x*val(4,0,64)+X/2-(3<<2)");
    EXPECT_EQ(Ops(*s.frame),
              (std::vector<Op>{Op::X, Op::MultiplyLiteral, Op::AddLiteral, Op::SubtractLiteral, Op::Return}));
    EXPECT_EQ(s.frame->code[1].value, 13);  // (65 * 54) >> 8
    EXPECT_EQ(s.frame->code[2].value, 320);
    EXPECT_EQ(s.frame->code[3].value, 12);
}

TEST(Specialize, FoldsRowConstantsOnlyForTheRow) {
    Specialized s("x-scl(cos(y),-511,512,0,Y)");
    EXPECT_EQ(Ops(*s.frame), (std::vector<Op>{Op::X, Op::Y, Op::Cos, Op::SclLiterals, Op::Subtract, Op::Return}));
    EXPECT_EQ(Ops(*s.row), (std::vector<Op>{Op::X, Op::SubtractLiteral, Op::Return}));
    // y is 379 at row 100 of 480.
    TestFrame frame(640, 480);
    EXPECT_EQ(s.row->code[1].value, EvaluateAt(s.state.get(), frame, "scl(cos(379),-511,512,0,480)", 0, 0));
    EXPECT_EQ(s.row->code[1].value, 75);
}

TEST(Specialize, TabulatesWhatDependsOnTheColumnAlone) {
    Specialized s("r+scl(cos(x),-511,512,0,X)*2+x");
    auto tables = std::make_unique<ColumnTables>();
    tables->count = 0;
    auto tabulated = std::make_unique<Program>();
    TabulateColumns(s.frame.get(), s.state.get(), tables.get(), tabulated.get());
    // "x" alone is not worth a table.
    EXPECT_EQ(Ops(*tabulated), (std::vector<Op>{Op::SourceR, Op::ColumnValue, Op::Add, Op::X, Op::Add, Op::Return}));
    ASSERT_EQ(tables->count, 1);
    TestFrame frame(640, 480);
    for (int32_t x : {0, 1, 255, 639}) {
        const std::string column = "scl(cos(" + std::to_string(x) + "),-511,512,0,640)*2";
        EXPECT_EQ(tables->values[x], EvaluateAt(s.state.get(), frame, column.c_str(), 0, 0)) << x;
    }
}

// Column parts alike, in one program or in two, share one table: the
// channels of the default block ask for the same one. Parts that differ by
// an operation, a literal or the constants of "scl" each get their own.
TEST(Specialize, SharesTheTableOfColumnPartsAlike) {
    const struct {
        const char* first;
        const char* second;
        int32_t tables;  // after both
    } kCases[] = {
        {"r+scl(cos(x),-511,512,0,X)", "g*scl(cos(x),-511,512,0,X)", 1},
        {"(r+scl(cos(x),-511,512,0,X))*(g+scl(cos(x),-511,512,0,X))", "b", 1},
        {"r+scl(cos(x),-511,512,0,X)", "g*scl(cos(x),-511,512,0,Y)", 2},
        {"r+scl(cos(x),-511,512,0,X)", "g*scl(cos(x),-510,512,0,X)", 2},
        {"r+cos(x)*3", "g+cos(x)*4", 2},
        {"r+cos(x)*3", "g+sin(x)*3", 2},
    };
    for (const auto& c : kCases) {
        Specialized first(c.first), second(c.second);
        auto tables = std::make_unique<ColumnTables>();
        tables->count = 0;
        auto one = std::make_unique<Program>(), two = std::make_unique<Program>();
        TabulateColumns(first.frame.get(), first.state.get(), tables.get(), one.get());
        TabulateColumns(second.frame.get(), second.state.get(), tables.get(), two.get());
        EXPECT_EQ(tables->count, c.tables) << c.first << " | " << c.second;
        // Each program still computes what it did, column by column.
        TestFrame frame(640, 1);
        for (size_t k = 0; k < frame.pixels.size(); ++k) frame.pixels[k] = static_cast<uint8_t>(k * 13);
        for (const auto& [from, to] : {std::pair{&first, one.get()}, std::pair{&second, two.get()}})
            for (int32_t x : {0, 7, 300, 639}) {
                from->state->x = x;
                from->state->pixelAddress[kSourceSlot] = frame.At(x, 0);
                const int32_t expected = RunProgram(from->frame.get(), from->state.get());
                EXPECT_EQ(RunProgram(to, from->state.get()), expected) << c.first << " | " << c.second << " at " << x;
            }
    }
}

TEST(Specialize, LeavesSideEffectsAndPixelReadsAlone) {
    Specialized s("rnd(0,9)+put(1,2)+get(2)+r+src(1,2,0)");
    EXPECT_EQ(Ops(*s.frame), Ops(*s.decoded));
}

TEST(Specialize, KeepsTheValueOfEveryFoldedOperation) {
    // Whole formulas that fold to one literal give what the interpreter
    // gives unfolded.
    TestFrame frame(640, 480);
    for (const char* formula : {"scl(7,0,9,0,99)", "scl(7,0,2,0,99)", "scl(-7,0,1023,0,255)", "mix(1,9,3,4)",
                                "sqrt(99999)", "tan(100)", "c2d(-3,4)", "M"}) {
        Specialized s(formula);
        ASSERT_EQ(s.frame->count, 2) << formula;
        EXPECT_EQ(s.frame->code[0].value, EvaluateAt(s.state.get(), frame, formula, 0, 0)) << formula;
    }
}

}  // namespace
