// Program: a code area decoded once per compile into compact operations,
// the form every executor runs. One operation per template body; synonyms
// and templates with identical bytes share one operation.
#pragma once

#include <cstdint>

#include "InstanceState.h"

// Every operation with the number of values it takes: 0 for a value (it
// pushes T and sets T), n for an operator or function of n operands (the
// last one is T, the others are popped). Its meaning is documented where
// the interpreter performs it.
// The formatter keeps this as laid out: the operations grouped by kind.
// clang-format off
#define FABLIX_OPERATIONS(OP)                                              \
    /* values */                                                          \
    OP(X, 0) OP(XMin, 0) OP(XMax, 0) OP(Y, 0) OP(YMin, 0) OP(YMax, 0)           \
    OP(P, 0) OP(PMin, 0) OP(PMax, 0) OP(T, 0) OP(TMin, 0) OP(Total, 0)          \
    OP(SourceA, 0) OP(SourceR, 0) OP(SourceG, 0) OP(SourceB, 0)               \
    OP(SourceC, 0) OP(ChannelTop, 0)                                        \
    OP(DMin, 0) OP(MMin, 0) OP(DMax, 0) OP(D, 0) OP(MMax, 0) OP(M, 0)           \
    OP(I, 0) OP(U, 0) OP(V, 0) OP(Number, 0) OP(Debug, 0)                      \
    /* operators */                                                       \
    OP(Add, 2) OP(Subtract, 2) OP(Multiply, 2) OP(Divide, 2) OP(Remainder, 2)  \
    OP(Negate, 1) OP(LogicalAnd, 2) OP(LogicalOr, 2) OP(Not, 1)               \
    OP(Complement, 1) OP(BitAnd, 2) OP(BitOr, 2) OP(BitXor, 2)                \
    OP(ShiftLeft, 2) OP(ShiftRight, 2) OP(Equal, 2) OP(NotEqual, 2)           \
    OP(Less, 2) OP(LessEqual, 2) OP(Greater, 2) OP(GreaterEqual, 2)           \
    OP(Comma, 2) OP(Choose, 3)                                              \
    /* functions */                                                       \
    OP(Min, 2) OP(Max, 2) OP(Abs, 1) OP(AddCapped, 3) OP(SubFloored, 3)        \
    OP(Dif, 2) OP(Ctl, 1) OP(Val, 3) OP(Map, 2) OP(Scl, 5) OP(Sqrt, 1)          \
    OP(Get, 1) OP(Put, 2) OP(Rnd, 2) OP(Rad, 3) OP(Rad1, 3) OP(Src, 3)          \
    OP(Mix, 4) OP(Cnv, 10) OP(C2m, 2) OP(C2d, 2) OP(R2y, 2) OP(R2x, 2)          \
    OP(Tan, 1) OP(Sin, 1) OP(Cos, 1)                                         \
    /* the end of every program: the epilog returns T */                  \
    OP(Return, 1)                                                         \
    /* made by the per-frame specialiser, never found in a code area: an  \
       operator whose right operand is the literal in `value`, and "scl"  \
       whose last four arguments are literals (program constants) */      \
    OP(AddLiteral, 1) OP(SubtractLiteral, 1) OP(MultiplyLiteral, 1)       \
    OP(DivideLiteral, 1) OP(ShiftLeftLiteral, 1) OP(ShiftRightLiteral, 1) \
    OP(BitAndLiteral, 1) OP(SclLiterals, 1)                               \
    /* joins the channel programs of a pixel: the end of one channel */   \
    OP(NextChannel, 1)                                                    \
    /* a part that depends on the column alone, tabulated per frame */    \
    OP(ColumnValue, 0)
// clang-format on

enum class Op : uint8_t {
#define FABLIX_OP_ENUM(name, inputs) name,
    FABLIX_OPERATIONS(FABLIX_OP_ENUM)
#undef FABLIX_OP_ENUM
        Count
};

constexpr int32_t kOpCount = static_cast<int32_t>(Op::Count);

constexpr uint8_t kOpInputs[kOpCount] = {
#define FABLIX_OP_INPUTS(name, inputs) inputs,
    FABLIX_OPERATIONS(FABLIX_OP_INPUTS)
#undef FABLIX_OP_INPUTS
};

// How an operation changes the count of values in T and S together: a value
// adds one; an operation of n operands takes n and leaves its result.
constexpr int32_t StackEffect(Op op) {
    const int32_t inputs = kOpInputs[static_cast<int32_t>(op)];
    return inputs == 0 ? 1 : 1 - inputs;
}

// The most operands an operation takes ("cnv": nine weights and a divisor).
constexpr int32_t kMaxInputs = 10;
static_assert([] {
    for (uint8_t inputs : kOpInputs)
        if (inputs > kMaxInputs) return false;
    return true;
}());

struct Instruction {
    Op op;
    int32_t value;  // the literal of Op::Number; 0 otherwise
};

enum : int32_t {
    // Every template takes at least one byte and prolog and epilog take 17,
    // so 2048 instructions hold any area with room to spare, and four times
    // that the four channels of a pixel joined into one program.
    kMaxInstructions = int32_t{kFormulaCount} * kCodeAreaSize,
    // A value takes at least 3 bytes of code, so at most 677 values fit in
    // 2047 bytes; the decoder refuses deeper programs.
    kMaxStackDepth = 768,
    kMaxConstants = int32_t{kFormulaCount} * 5 * kCodeAreaSize / 29,  // five per "scl" of 29 bytes
};

// What the decoder proves of a program's "put" and "get" cells, for the
// rule that lets the pixels of a frame run in any order, each with cells of
// its own: every "get" of a pixel reads a cell that a "put" of the same
// pixel stored to before it. Every "put" runs (nothing is skipped, "?:"
// included), so each one stores. Cells outside 0..255 store nothing and
// read 0, so they take no part.
enum : int32_t { kCellWords = kPutCellCount / 32 };
struct CellFacts {
    bool literal;                    // every "put" and "get" names its cell by literals alone
    uint32_t stored[kCellWords];     // the cells a "put" stores to
    uint32_t readFirst[kCellWords];  // the cells a "get" reads before the program's own "put" to them
};

// The facts of a program that runs after `first` for the same pixel (the
// next channel), added to `first`.
void FollowCellFacts(CellFacts* first, const CellFacts& next);

// True when, by `facts`, no pixel can see another's cells.
bool CellsStayInPixel(const CellFacts& facts);

struct Program {
    int32_t count;     // instructions, the last one Op::Return
    int32_t maxDepth;  // deepest use of the value stack S
    int32_t constantCount;
    Instruction code[kMaxInstructions];
    int32_t constants[kMaxConstants];  // operands of SclLiterals
    const int32_t* columnValues;       // the tables of ColumnValue, per column
    CellFacts cells;                   // made by the decoder, carried by every later form
};

enum DecodeResult : int32_t {
    kDecodeCompiled = 0,  // the area holds a compiled formula
    kDecodeFailed = 1,    // the area begins with "error": runs as "return 0"
    kDecodeNoCode = 2,    // neither: zeroed or foreign bytes; runs as "return 0"
};

// True when the area begins with the prolog's first six bytes.
bool HasCompiledCode(const uint8_t* area);

// Turns the code area (at most `capacity` bytes) into a program. Whatever
// the bytes, the program is well formed: anything that is not compiled code
// becomes "return 0".
DecodeResult DecodeCodeArea(const uint8_t* area, int32_t capacity, Program* program);
