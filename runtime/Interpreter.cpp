#include "Interpreter.h"

#include "Polar.h"
#include "Random.h"

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
inline int32_t Quotient(i64 dividend, i64 divisor) {
    if (divisor == 0) return 0;
    if (divisor == -1) return Wrap(static_cast<u32>(0ull - static_cast<uint64_t>(dividend)));
    return Wrap(static_cast<u32>(static_cast<uint64_t>(dividend / divisor)));
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
    const int32_t X = Clamp(Width(s) / 2 + PolarComponent(s, d, m), s->xMin, s->xMax - 1);
    const int32_t H = Height(s);
    const int32_t e = H % 2 == 0 ? 1 : 0;
    const int32_t S = PolarComponent(s, d - 256, m);
    const int32_t Y = Clamp(H / 2 - S + (upper ? -e : e), s->yMin, s->yMax - 1);
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

}  // namespace

int32_t RunProgram(const Program* program, InstanceState* s) {
    int32_t stack[kMaxStackDepth + 1];
    int32_t* sp = stack;  // S grows upwards; sp is one past the newest entry
    int32_t T = 0;        // the top before the first value is never used
    const uint8_t* pixel = s->pixelAddress[kSourceSlot];

#define PUSH(value) (*sp++ = T, T = (value))
#define POP() (*--sp)
    for (const Instruction* ip = program->code;; ++ip) {
        switch (ip->op) {
        // Position, channel and time. "y" counts rows upwards from 0 at
        // the last row in memory; "x" keeps the host's column.
        case Op::X: PUSH(s->x); break;
        case Op::XMin: PUSH(s->xMin); break;
        case Op::XMax: PUSH(s->xMax); break;
        case Op::Y: PUSH(s->yMax - s->row - 1); break;
        case Op::YMin: PUSH(s->yMin); break;
        case Op::YMax: PUSH(s->yMax); break;
        case Op::P: PUSH(s->channel); break;
        case Op::PMin: PUSH(s->channelMin); break;
        case Op::PMax: PUSH(s->channelMax); break;
        case Op::T: PUSH(s->time); break;
        case Op::TMin: PUSH(s->timeMin); break;
        case Op::Total: PUSH(s->total); break;

        // The current source pixel: bytes blue, green, red, alpha; "c" is
        // the byte of the channel being computed; "R", "G", "B", "C" 255.
        case Op::SourceA: PUSH(pixel[3]); break;
        case Op::SourceR: PUSH(pixel[2]); break;
        case Op::SourceG: PUSH(pixel[1]); break;
        case Op::SourceB: PUSH(pixel[0]); break;
        case Op::SourceC: PUSH(pixel[(s->channel - s->channelMin) & 3]); break;
        case Op::ChannelTop: PUSH(255); break;

        // Polar: "d" the angle around the centre (the centre row counts as
        // below it), "m" the distance from a centre one row lower, "M" the
        // length of the bounds' diagonal.
        case Op::DMin: PUSH(-512); break;
        case Op::MMin: PUSH(0); break;
        case Op::DMax: PUSH(512); break;
        case Op::D: {
            const int32_t dx = s->x - Width(s) / 2;
            const int32_t dy = s->row - ((Height(s) + 1) / 2 - 1);
            PUSH(FoldedAngle(s, dx, dy, dy >= 0));
            break;
        }
        case Op::MMax: PUSH(VectorLength(s, Width(s), Height(s))); break;
        case Op::M:
            PUSH(VectorLength(s, s->x - (Width(s) + 1) / 2, s->row - Height(s) / 2 - 1));
            break;

        // Colour spaces of the source pixel; >> is arithmetic.
        case Op::I: PUSH((76 * pixel[2] + 150 * pixel[1] + 29 * pixel[0]) >> 8); break;
        case Op::U: PUSH((56 * pixel[0] - 19 * pixel[2] - 37 * pixel[1]) >> 8); break;
        case Op::V: PUSH((78 * pixel[2] - 65 * pixel[1] - 13 * pixel[0]) >> 8); break;

        // A literal, and "debug", a value of 0 (no debugger break is
        // offered: nothing may stop the host).
        case Op::Number: PUSH(ip->value); break;
        case Op::Debug: PUSH(0); break;

        // Binary operators: L is popped, T is the right operand.
        case Op::Add: T = Plus(POP(), T); break;
        case Op::Subtract: T = Minus(POP(), T); break;
        case Op::Multiply: T = Times(POP(), T); break;
        case Op::Divide: T = Quotient(POP(), T); break;
        case Op::Remainder: {
            // The remainder has the sign of L; by 0 (and by -1) it is 0.
            const int32_t L = POP();
            T = T == 0 || T == -1 ? 0 : L % T;
            break;
        }
        case Op::Negate: T = Minus(0, T); break;
        case Op::LogicalAnd: T = (POP() != 0) & (T != 0); break;
        case Op::LogicalOr: T = (POP() != 0) | (T != 0); break;
        case Op::Not: T = T == 0; break;
        case Op::Complement: T = ~T; break;
        case Op::BitAnd: T = POP() & T; break;
        case Op::BitOr: T = POP() | T; break;
        case Op::BitXor: T = POP() ^ T; break;
        case Op::ShiftLeft: T = Wrap(u32(POP()) << (u32(T) & 31)); break;
        case Op::ShiftRight: T = Wrap(u32(POP()) >> (u32(T) & 31)); break;  // unsigned
        case Op::Equal: T = POP() == T; break;
        case Op::NotEqual: T = POP() != T; break;
        case Op::Less: T = POP() < T; break;
        case Op::LessEqual: T = POP() <= T; break;
        case Op::Greater: T = POP() > T; break;
        case Op::GreaterEqual: T = POP() >= T; break;
        case Op::Comma: T = POP(); break;  // drops the newest value
        case Op::Choose: {
            // The value if true is popped first, then the condition; T is
            // the value if false.
            const int32_t ifTrue = POP();
            if (POP() != 0) T = ifTrue;
            break;
        }

        // Functions: the last argument is T, earlier ones are popped.
        case Op::Min: { const int32_t a = POP(); T = a < T ? a : T; break; }
        case Op::Max: { const int32_t a = POP(); T = a > T ? a : T; break; }
        case Op::Abs: T = Magnitude(T); break;
        case Op::AddCapped: {  // min(a + b, c)
            const int32_t b = POP(), a = POP(), sum = Plus(a, b);
            T = sum < T ? sum : T;
            break;
        }
        case Op::SubFloored: {  // max(a - b, c)
            const int32_t b = POP(), a = POP(), difference = Minus(a, b);
            T = difference > T ? difference : T;
            break;
        }
        case Op::Dif: T = Magnitude(Minus(POP(), T)); break;
        case Op::Ctl: T = u32(T) < kSliderCount ? s->sliderValues[T] : 0; break;
        case Op::Val: {  // lo + ((hi - lo + 1) * slider) >> 8, unsigned shift
            const int32_t lo = POP(), i = POP();
            if (u32(i) >= kSliderCount) {
                T = lo;
            } else {
                const u32 scaled = (u32(Minus(T, lo)) + 1u) * u32(s->sliderValues[i]);
                T = Plus(lo, Wrap(scaled >> 8));
            }
            break;
        }
        case Op::Map: {
            // Entry n of map i; for n outside 0..255 the entry replaces the
            // low 8 bits of n, as the table is indexed by those bits.
            const int32_t i = POP();
            T = u32(i) < kMapCount ? Wrap((u32(T) & ~0xFFu) | s->mapTables[i][u32(T) & 0xFF]) : 0;
            break;
        }
        case Op::Scl: {  // ol + ((v - il) * (oh - ol + 1)) / (ih - il + 1)
            const int32_t ol = POP(), ih = POP(), il = POP(), v = POP();
            const i64 product = i64{Minus(v, il)} * Plus(Minus(T, ol), 1);
            T = Plus(ol, Quotient(product, Plus(Minus(ih, il), 1)));
            break;
        }
        case Op::Sqrt: T = SquareRoot(T); break;
        case Op::Get: T = u32(T) < kPutCellCount ? s->putCells[T] : 0; break;
        case Op::Put: {  // stores v in cell i when i is 0..255; gives v
            const int32_t v = POP();
            if (u32(T) < kPutCellCount) s->putCells[T] = v;
            T = v;
            break;
        }
        case Op::Rnd: T = Random(s, POP(), T); break;
        case Op::Rad:
        case Op::Rad1: {
            const int32_t m = POP(), d = POP();
            T = Radial(s, d, m, T, ip->op == Op::Rad1);
            break;
        }
        case Op::Src: {
            const int32_t y = POP(), x = POP();
            T = Source(s, x, y, T);
            break;
        }
        case Op::Mix: {  // (a * (d - n) + b * n) / d, 32-bit products
            const int32_t n = POP(), b = POP(), a = POP();
            T = Quotient(Plus(Times(a, Minus(T, n)), Times(b, n)), T);
            break;
        }
        case Op::Cnv: {
            int32_t weights[9];
            for (int32_t k = 8; k >= 0; --k) weights[k] = POP();
            T = Convolve(s, weights, T);
            break;
        }
        case Op::C2m: T = VectorLength(s, POP(), T); break;
        case Op::C2d: T = VectorAngle(s, POP(), T); break;
        case Op::R2y: T = PolarComponent(s, Minus(POP(), 256), T); break;
        case Op::R2x: T = PolarComponent(s, POP(), T); break;
        case Op::Tan: {  // sin / cos scaled by 1024; 0 where the cosine is 0
            const int32_t c = Cosine(s, Magnitude(T));
            const int32_t sine = Cosine(s, Magnitude(Minus(T, 256)));
            T = c == 0 ? 0 : sine * 1024 / c;
            break;
        }
        case Op::Sin: T = Cosine(s, Magnitude(Minus(T, 256))) >> 5; break;
        case Op::Cos: T = Cosine(s, Magnitude(T)) >> 5; break;

        // The epilog: the formula's value is T.
        case Op::Return: return T;
        case Op::Count: return T;
        }
    }
#undef PUSH
#undef POP
}
