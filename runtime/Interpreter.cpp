#include "Interpreter.h"

#include "Polar.h"
#include "Random.h"

#if defined(__GNUC__)
#define FABLIX_THREADED_DISPATCH 1
#endif

namespace {

using u32 = uint32_t;
using i64 = int64_t;

// Wrapping arithmetic: every formula value is 32-bit two's complement.
inline int32_t Wrap(u32 v) { return static_cast<int32_t>(v); }
inline int32_t Plus(int32_t a, int32_t b) { return Wrap(u32(a) + u32(b)); }
inline int32_t Minus(int32_t a, int32_t b) { return Wrap(u32(a) - u32(b)); }
inline int32_t Times(int32_t a, int32_t b) { return Wrap(u32(a) * u32(b)); }
inline int32_t Magnitude(int32_t a) { return a < 0 ? Wrap(0u - u32(a)) : a; }

// Truncating division that never faults: by 0 it gives 0; a quotient that
// does not fit in 32 bits (-2147483648 / -1, or a wide dividend) keeps its
// low 32 bits, as every other formula result wraps.
// Division by 2^shift, rounding towards 0.
inline int32_t ShiftQuotient(i64 dividend, int32_t shift) {
    const i64 bias = (dividend >> 63) & ((i64{1} << shift) - 1);
    return Wrap(static_cast<u32>(static_cast<uint64_t>((dividend + bias) >> shift)));
}

inline int32_t Quotient(i64 dividend, i64 divisor) {
    if (divisor == 0) return 0;
    if (divisor == -1) return Wrap(static_cast<u32>(0ull - static_cast<uint64_t>(dividend)));
    if (divisor > 0 && (divisor & (divisor - 1)) == 0) return ShiftQuotient(dividend, __builtin_ctzll(divisor));
    if (dividend == static_cast<int32_t>(dividend) && divisor == static_cast<int32_t>(divisor))
        return static_cast<int32_t>(dividend) / static_cast<int32_t>(divisor);
    return Wrap(static_cast<u32>(static_cast<uint64_t>(dividend / divisor)));
}

// Shifts by T mod 32; the right shift fills with zero bits.
inline int32_t ShiftLeft(int32_t v, int32_t by) { return Wrap(u32(v) << (u32(by) & 31)); }
inline int32_t ShiftRight(int32_t v, int32_t by) { return Wrap(u32(v) >> (u32(by) & 31)); }

// "scl": v scaled from il..ih onto ol..oh, ol + ((v - il) * (oh - ol + 1)) /
// (ih - il + 1), the product in 64 bits.
inline int32_t Scale(int32_t v, int32_t il, int32_t ih, int32_t ol, int32_t oh) {
    const i64 product = i64{Minus(v, il)} * Plus(Minus(oh, ol), 1);
    return Plus(ol, Quotient(product, Plus(Minus(ih, il), 1)));
}

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

inline int32_t Cosine(const InstanceState* s, int32_t angle) {
    return s->cosineTable[u32(angle) & 1023];
}

// (m * cos + 8191) >> 14 in 64 bits, rounding halves down.
inline int32_t PolarComponent(const InstanceState* s, int32_t angle, int32_t m) {
    return Wrap(static_cast<u32>((i64{m} * Cosine(s, angle) + 8191) >> 14));
}

inline int32_t Width(const InstanceState* s) { return s->xMax - s->xMin; }
inline int32_t Height(const InstanceState* s) { return s->yMax - s->yMin; }

// Byte z (0..3) of the source pixel at column X and memory row Y, both
// already inside the bounds; any other z reads nothing and gives 0.
inline int32_t SourceByte(const InstanceState* s, int32_t X, int32_t Y, int32_t z) {
    if (u32(z) > 3) return 0;
    const uint8_t* pixel = s->baseAddress[kSourceSlot] + i64{Y - s->yMin} * s->rowBytes[kSourceSlot] +
                           i64{X - s->xMin} * (s->channelMax - s->channelMin);
    return pixel[z];
}

// "rad" and "rad1": the source byte at angle d and distance m from the
// centre; rad1 takes the centre one row higher on even heights.
int32_t Radial(const InstanceState* s, int32_t d, int32_t m, int32_t z, bool upper) {
    const int32_t X = Clamp(Plus(Width(s) / 2, PolarComponent(s, d, m)), s->xMin, s->xMax - 1);
    const int32_t H = Height(s);
    const int32_t e = H % 2 == 0 ? 1 : 0;
    const int32_t S = PolarComponent(s, Minus(d, 256), m);
    const int32_t Y = Clamp(Plus(Minus(H / 2, S), upper ? -e : e), s->yMin, s->yMax - 1);
    return SourceByte(s, X, Y, z);
}

// "src": the source byte at formula coordinates (x, y), y counted upwards;
// outside the frame the nearest edge pixel.
int32_t Source(const InstanceState* s, int32_t x, int32_t y, int32_t z) {
    const int32_t Y = Clamp(y, s->yMin, s->yMax - 1);
    const int32_t X = Clamp(x, s->xMin, s->xMax - 1);
    return SourceByte(s, X, s->yMax - 1 - Y + s->yMin, z - s->channelMin);
}

// The first of three window lines around v: shifted inwards at the edges.
inline int32_t WindowStart(int32_t v, int32_t lo, int32_t hi) {
    if (v == lo) return v;
    if (v == hi - 1) return v - 2;
    return v - 1;
}

// "cnv": the weighted sum of the current channel over the 3 x 3 window,
// w[0..2] for the row nearest the start of memory. Lines are clamped to the
// bounds, so frames narrower or lower than 3 pixels repeat their edge.
int32_t Convolve(const InstanceState* s, const int32_t* w, int32_t divisor) {
    const int32_t column = WindowStart(s->x, s->xMin, s->xMax);
    const int32_t row = WindowStart(s->row, s->yMin, s->yMax);
    u32 sum = 0;
    for (int32_t j = 0; j < 3; ++j) {
        const int32_t Y = Clamp(row + j, s->yMin, s->yMax - 1);
        for (int32_t i = 0; i < 3; ++i) {
            const int32_t X = Clamp(column + i, s->xMin, s->xMax - 1);
            sum += u32(w[3 * j + i]) * u32(SourceByte(s, X, Y, s->channel & 3));
        }
    }
    if (divisor == 0 || divisor == 1) return Wrap(sum);
    return Quotient(Wrap(sum), divisor);
}

// "sqr": floor of the square root by Newton iteration from v / 2; values
// up to 1 come back unchanged.
int32_t SquareRoot(int32_t v) {
    if (v <= 1) return v;
    int32_t x = v / 2;
    for (;;) {
        const int32_t q = v / x;
        if (x <= q) return x;
        x = static_cast<int32_t>((i64{x} + q) / 2);
    }
}

// "rnd": one draw, always; lo plus its remainder modulo the range.
int32_t Random(InstanceState* s, int32_t lo, int32_t hi) {
    const int32_t draw = DrawRandom(s);
    const int32_t range = Minus(hi, lo);
    if (range < 0) return 0;
    const i64 size = i64{range} + 1;
    i64 r = draw % size;
    if (r < 0) r += size;
    return Plus(lo, static_cast<int32_t>(r));
}

// Runs `program`; each Return or NextChannel stores T as the result of the
// current channel when `results` is given. Returns the last T.
int32_t Run(const Program* program, InstanceState* s, int32_t* results) {
    int32_t stack[kMaxStackDepth + 1];
    int32_t* sp = stack;  // S grows upwards; sp is one past the newest entry
    int32_t T = 0;        // the top before the first value is never used
    const uint8_t* pixel = s->pixelAddress[kSourceSlot];

#define PUSH(value) (*sp++ = T, T = (value))
#define POP() (*--sp)
    const Instruction* ip = program->code;
#if FABLIX_THREADED_DISPATCH
    // One indirect jump per operation, each at its own site, which the
    // processor predicts far better than a single switch.
    static const void* const kTargets[kOpCount] = {
#define FABLIX_OP_TARGET(name, inputs) &&op_##name,
        FABLIX_OPERATIONS(FABLIX_OP_TARGET)
#undef FABLIX_OP_TARGET
    };
#define CASE(name) op_##name
#define NEXT() goto *kTargets[static_cast<uint8_t>((++ip)->op)]
    goto *kTargets[static_cast<uint8_t>(ip->op)];
    {
        {
#else
#define CASE(name) case Op::name
#define NEXT() continue
    for (;; ++ip) {
        switch (ip->op) {
        case Op::Count: return T;
#endif
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
        CASE(DMin): PUSH(-512); NEXT();
        CASE(MMin): PUSH(0); NEXT();
        CASE(DMax): PUSH(512); NEXT();
        CASE(D): {
            const int32_t dx = s->x - Width(s) / 2;
            const int32_t dy = s->row - ((Height(s) + 1) / 2 - 1);
            PUSH(FoldedAngle(s, dx, dy, dy >= 0));
            NEXT();
        }
        CASE(MMax): PUSH(VectorLength(s, Width(s), Height(s))); NEXT();
        CASE(M):
            PUSH(VectorLength(s, s->x - (Width(s) + 1) / 2, s->row - Height(s) / 2 - 1));
            NEXT();

        // Colour spaces of the source pixel; >> is arithmetic.
        CASE(I): PUSH((76 * pixel[2] + 150 * pixel[1] + 29 * pixel[0]) >> 8); NEXT();
        CASE(U): PUSH((56 * pixel[0] - 19 * pixel[2] - 37 * pixel[1]) >> 8); NEXT();
        CASE(V): PUSH((78 * pixel[2] - 65 * pixel[1] - 13 * pixel[0]) >> 8); NEXT();

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
        CASE(Remainder): {
            // The remainder has the sign of L; by 0 (and by -1) it is 0.
            const int32_t L = POP();
            T = T == 0 || T == -1 ? 0 : L % T;
            NEXT();
        }
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
        CASE(Val): {  // lo + ((hi - lo + 1) * slider) >> 8, unsigned shift
            const int32_t lo = POP(), i = POP();
            if (u32(i) >= kSliderCount) {
                T = lo;
            } else {
                const u32 scaled = (u32(Minus(T, lo)) + 1u) * u32(s->sliderValues[i]);
                T = Plus(lo, Wrap(scaled >> 8));
            }
            NEXT();
        }
        CASE(Map): {
            // Entry n of map i; for n outside 0..255 the entry replaces the
            // low 8 bits of n, as the table is indexed by those bits.
            const int32_t i = POP();
            T = u32(i) < kMapCount ? Wrap((u32(T) & ~0xFFu) | s->mapTables[i][u32(T) & 0xFF]) : 0;
            NEXT();
        }
        CASE(Scl): {
            const int32_t ol = POP(), ih = POP(), il = POP(), v = POP();
            T = Scale(v, il, ih, ol, T);
            NEXT();
        }
        CASE(SclLiterals): {
            // "scl" with il, ih, ol, oh from the program's constants, and
            // the shift that divides by ih - il + 1 when that is a power of
            // two (-1 otherwise).
            const int32_t* c = program->constants + ip->value;
            if (c[4] < 0) {
                T = Scale(T, c[0], c[1], c[2], c[3]);
            } else {
                T = Plus(c[2], ShiftQuotient(i64{Minus(T, c[0])} * Plus(Minus(c[3], c[2]), 1), c[4]));
            }
            NEXT();
        }
        CASE(Sqrt): T = SquareRoot(T); NEXT();
        CASE(Get): T = u32(T) < kPutCellCount ? s->putCells[T] : 0; NEXT();
        CASE(Put): {  // stores v in cell i when i is 0..255; gives v
            const int32_t v = POP();
            if (u32(T) < kPutCellCount) s->putCells[T] = v;
            T = v;
            NEXT();
        }
        CASE(Rnd): T = Random(s, POP(), T); NEXT();
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
        CASE(Mix): {  // (a * (d - n) + b * n) / d, 32-bit products
            const int32_t n = POP(), b = POP(), a = POP();
            T = Quotient(Plus(Times(a, Minus(T, n)), Times(b, n)), T);
            NEXT();
        }
        CASE(Cnv): {
            int32_t weights[9];
            for (int32_t k = 8; k >= 0; --k) weights[k] = POP();
            T = Convolve(s, weights, T);
            NEXT();
        }
        CASE(C2m): T = VectorLength(s, POP(), T); NEXT();
        CASE(C2d): T = VectorAngle(s, POP(), T); NEXT();
        CASE(R2y): T = PolarComponent(s, Minus(POP(), 256), T); NEXT();
        CASE(R2x): T = PolarComponent(s, POP(), T); NEXT();
        CASE(Tan): {  // sin / cos scaled by 1024; 0 where the cosine is 0
            const int32_t c = Cosine(s, Magnitude(T));
            const int32_t sine = Cosine(s, Magnitude(Minus(T, 256)));
            T = c == 0 ? 0 : sine * 1024 / c;
            NEXT();
        }
        CASE(Sin): T = Cosine(s, Magnitude(Minus(T, 256))) >> 5; NEXT();
        CASE(Cos): T = Cosine(s, Magnitude(T)) >> 5; NEXT();

        // The epilog: the formula's value is T.
        CASE(Return):
            if (results != nullptr) results[s->channel & 3] = T;
            return T;
        // A tabulated part of the formula, by the pixel's column.
        CASE(ColumnValue): PUSH(program->columnValues[ip->value + (s->x - s->xMin)]); NEXT();
        // Between the channels of a pixel program: T is this channel's
        // value; the next channel starts on an empty stack.
        CASE(NextChannel):
            if (results != nullptr) results[s->channel & 3] = T;
            ++s->channel;
            sp = stack;
            NEXT();
        }
    }
#undef CASE
#undef NEXT
#undef PUSH
#undef POP
}

}  // namespace

int32_t RunProgram(const Program* program, InstanceState* s) { return Run(program, s, nullptr); }

void RunPixelProgram(const Program* program, InstanceState* s, int32_t results[kFormulaCount]) {
    s->channel = s->channelMin;
    Run(program, s, results);
}
