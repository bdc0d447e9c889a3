#include "Interpreter.h"

#include "Polar.h"
#include "Random.h"
#include "Semantics.h"

namespace {

using namespace semantics;

// Runs `code`; each Return or NextChannel stores T as the result of the
// current channel when `results` is given. Returns the last T.
int32_t Run(const Instruction* code, const int32_t* constants, const int32_t* columnValues, InstanceState* s,
            int32_t* results) {
    int32_t stack[kMaxStackDepth + 1];
    int32_t* sp = stack;  // S grows upwards; sp is one past the newest entry
    int32_t T = 0;        // the top before the first value is never used
    const uint8_t* pixel = s->pixelAddress[kSourceSlot];

#define PUSH(value) (*sp++ = T, T = (value))
#define POP() (*--sp)
    const Instruction* ip = code;
    // One indirect jump per operation, each at its own site, which the
    // processor predicts far better than a single switch. Every compiler the
    // project builds with has labels as values.
    static const void* const kTargets[kOpCount] = {
#define FABLIX_OP_TARGET(name, inputs) &&op_##name,
        FABLIX_OPERATIONS(FABLIX_OP_TARGET)
#undef FABLIX_OP_TARGET
    };
    // The formatter keeps this as laid out: one operation a line, as the table lists them.
    // clang-format off
#define CASE(name) op_##name
#define NEXT() goto *kTargets[static_cast<uint8_t>((++ip)->op)]
    goto *kTargets[static_cast<uint8_t>(ip->op)];

    // Position, channel and time. "y" counts rows upwards from 0 at
    // the last row in memory; "x" keeps the host's column.
    CASE(X): PUSH(s->x); NEXT();
    CASE(XMin): PUSH(s->xMin); NEXT();
    CASE(XMax): PUSH(s->xMax); NEXT();
    CASE(Y): PUSH(s->yMax - s->row - 1); NEXT();
    CASE(YMin): PUSH(s->yMin); NEXT();
    CASE(YMax): PUSH(s->yMax); NEXT();
    CASE(P): PUSH(s->channel); NEXT();
    CASE(PMin): PUSH(s->channelMin); NEXT();
    CASE(PMax): PUSH(s->channelMax); NEXT();
    CASE(T): PUSH(s->time); NEXT();
    CASE(TMin): PUSH(s->timeMin); NEXT();
    CASE(Total): PUSH(s->total); NEXT();

    // The current source pixel: bytes blue, green, red, alpha; "c" is
    // the byte of the channel being computed; "R", "G", "B", "C" 255.
    CASE(SourceA): PUSH(pixel[3]); NEXT();
    CASE(SourceR): PUSH(pixel[2]); NEXT();
    CASE(SourceG): PUSH(pixel[1]); NEXT();
    CASE(SourceB): PUSH(pixel[0]); NEXT();
    CASE(SourceC): PUSH(pixel[(s->channel - s->channelMin) & 3]); NEXT();
    CASE(ChannelTop): PUSH(255); NEXT();

    // Polar: "d" the angle around the centre (the centre row counts as
    // below it), "m" the distance from a centre one row lower, "M" the
    // length of the bounds' diagonal.
    CASE(DMin): PUSH(-kHalfTurn); NEXT();
    CASE(MMin): PUSH(0); NEXT();
    CASE(DMax): PUSH(kHalfTurn); NEXT();
    CASE(D): PUSH(AngleAt(s, s->x, s->row)); NEXT();
    CASE(MMax): PUSH(VectorLength(s, Width(s), Height(s))); NEXT();
    CASE(M): PUSH(DistanceAt(s, s->x, s->row)); NEXT();

    // Colour spaces of the source pixel; >> is arithmetic.
    CASE(I): PUSH(Luma(pixel)); NEXT();
    CASE(U): PUSH(ChromaU(pixel)); NEXT();
    CASE(V): PUSH(ChromaV(pixel)); NEXT();

    // A literal, and "debug", a value of 0 (no debugger break is
    // offered: nothing may stop the host).
    CASE(Number): PUSH(ip->value); NEXT();
    CASE(Debug): PUSH(0); NEXT();

    // Binary operators: L is popped, T is the right operand.
    CASE(Add): T = Plus(POP(), T); NEXT();
    CASE(Subtract): T = Minus(POP(), T); NEXT();
    CASE(Multiply): T = Times(POP(), T); NEXT();
    CASE(Divide): T = Quotient(POP(), T); NEXT();
    // The same with a literal right operand: T is the left one.
    CASE(AddLiteral): T = Plus(T, ip->value); NEXT();
    CASE(SubtractLiteral): T = Minus(T, ip->value); NEXT();
    CASE(MultiplyLiteral): T = Times(T, ip->value); NEXT();
    CASE(DivideLiteral): T = Quotient(T, ip->value); NEXT();
    CASE(ShiftLeftLiteral): T = ShiftLeft(T, ip->value); NEXT();
    CASE(ShiftRightLiteral): T = ShiftRight(T, ip->value); NEXT();
    CASE(BitAndLiteral): T = T & ip->value; NEXT();
    CASE(Remainder): T = Remainder(POP(), T); NEXT();
    CASE(Negate): T = Minus(0, T); NEXT();
    CASE(LogicalAnd): T = (POP() != 0) & (T != 0); NEXT();
    CASE(LogicalOr): T = (POP() != 0) | (T != 0); NEXT();
    CASE(Not): T = T == 0; NEXT();
    CASE(Complement): T = ~T; NEXT();
    CASE(BitAnd): T = POP() & T; NEXT();
    CASE(BitOr): T = POP() | T; NEXT();
    CASE(BitXor): T = POP() ^ T; NEXT();
    CASE(ShiftLeft): T = ShiftLeft(POP(), T); NEXT();
    CASE(ShiftRight): T = ShiftRight(POP(), T); NEXT();
    CASE(Equal): T = POP() == T; NEXT();
    CASE(NotEqual): T = POP() != T; NEXT();
    CASE(Less): T = POP() < T; NEXT();
    CASE(LessEqual): T = POP() <= T; NEXT();
    CASE(Greater): T = POP() > T; NEXT();
    CASE(GreaterEqual): T = POP() >= T; NEXT();
    CASE(Comma): T = POP(); NEXT();  // drops the newest value
    CASE(Choose): {
        // The value if true is popped first, then the condition; T is
        // the value if false.
        const int32_t ifTrue = POP();
        if (POP() != 0) T = ifTrue;
        NEXT();
    }

    // Functions: the last argument is T, earlier ones are popped.
    CASE(Min): { const int32_t a = POP(); T = a < T ? a : T; NEXT(); }
    CASE(Max): { const int32_t a = POP(); T = a > T ? a : T; NEXT(); }
    CASE(Abs): T = Magnitude(T); NEXT();
    CASE(AddCapped): {  // min(a + b, c)
        const int32_t b = POP(), a = POP(), sum = Plus(a, b);
        T = sum < T ? sum : T;
        NEXT();
    }
    CASE(SubFloored): {  // max(a - b, c)
        const int32_t b = POP(), a = POP(), difference = Minus(a, b);
        T = difference > T ? difference : T;
        NEXT();
    }
    CASE(Dif): T = Magnitude(Minus(POP(), T)); NEXT();
    CASE(Ctl): T = u32(T) < kSliderCount ? s->sliderValues[T] : 0; NEXT();
    CASE(Val): {
        const int32_t lo = POP(), i = POP();
        T = SliderValue(s, i, lo, T);
        NEXT();
    }
    CASE(Map): T = MapEntry(s, POP(), T); NEXT();
    CASE(Scl): {
        const int32_t ol = POP(), ih = POP(), il = POP(), v = POP();
        T = Scale(v, il, ih, ol, T);
        NEXT();
    }
    // "scl" with il, ih, ol, oh and a shift from the program's constants.
    CASE(SclLiterals): T = ScaleByConstants(T, constants + ip->value); NEXT();
    CASE(Sqrt): T = SquareRoot(T); NEXT();
    CASE(Get): T = u32(T) < kPutCellCount ? s->putCells[T] : 0; NEXT();
    CASE(Put): {  // stores v in cell i when i is 0..255; gives v
        const int32_t v = POP();
        if (u32(T) < kPutCellCount) s->putCells[T] = v;
        T = v;
        NEXT();
    }
    CASE(Rnd): {  // one draw, always
        const int32_t lo = POP();
        T = RandomInRange(DrawRandom(s), lo, T);
        NEXT();
    }
    CASE(Rad):
    CASE(Rad1): {
        const int32_t m = POP(), d = POP();
        T = Radial(s, d, m, T, ip->op == Op::Rad1);
        NEXT();
    }
    CASE(Src): {
        const int32_t y = POP(), x = POP();
        T = Source(s, x, y, T);
        NEXT();
    }
    CASE(Mix): {
        const int32_t n = POP(), b = POP(), a = POP();
        T = Mix(a, b, n, T);
        NEXT();
    }
    CASE(Cnv): {
        int32_t weights[9];
        for (int32_t k = 8; k >= 0; --k) weights[k] = POP();
        T = Convolve(s, s->x, s->row, s->channel, weights, T);
        NEXT();
    }
    CASE(C2m): T = VectorLength(s, POP(), T); NEXT();
    CASE(C2d): T = VectorAngle(s, POP(), T); NEXT();
    CASE(R2y): T = PolarComponent(s, Minus(POP(), kRightAngle), T); NEXT();
    CASE(R2x): T = PolarComponent(s, POP(), T); NEXT();
    CASE(Tan): T = Tangent(s, T); NEXT();
    CASE(Sin): T = Sine(s, T); NEXT();
    CASE(Cos): T = Cos(s, T); NEXT();

    // The epilog: the formula's value is T.
    CASE(Return):
        if (results != nullptr) results[s->channel & 3] = T;
        return T;
    // A tabulated part of the formula, by the pixel's column.
    CASE(ColumnValue): PUSH(columnValues[ip->value + (s->x - s->xMin)]); NEXT();
    // Between the channels of a pixel program: T is this channel's
    // value; the next channel starts on an empty stack.
    CASE(NextChannel):
        if (results != nullptr) results[s->channel & 3] = T;
        ++s->channel;
        sp = stack;
        NEXT();
#undef CASE
#undef NEXT
#undef PUSH
#undef POP
    // clang-format on
}

}  // namespace

int32_t RunProgram(const Program* program, InstanceState* s) {
    return Run(program->code, program->constants, program->columnValues, s, nullptr);
}

int32_t RunCode(const Instruction* code, const int32_t* constants, const int32_t* columnValues, InstanceState* s) {
    return Run(code, constants, columnValues, s, nullptr);
}

void RunPixelProgram(const Program* program, InstanceState* s, int32_t results[kFormulaCount]) {
    s->channel = s->channelMin;
    Run(program->code, program->constants, program->columnValues, s, results);
}
