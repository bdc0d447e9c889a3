// The meaning of the operations that take more than a line: exact 32-bit
// semantics shared by every executor, so the interpreter and the vector
// executor's lane-by-lane paths cannot drift apart.
#pragma once

#include <cstdint>

#include "Angles.h"
#include "InstanceState.h"
#include "Polar.h"

namespace semantics {

using u32 = uint32_t;
using i64 = int64_t;

// Wrapping arithmetic: every formula value is 32-bit two's complement.
inline int32_t Wrap(u32 v) { return static_cast<int32_t>(v); }
inline int32_t Plus(int32_t a, int32_t b) { return Wrap(u32(a) + u32(b)); }
inline int32_t Minus(int32_t a, int32_t b) { return Wrap(u32(a) - u32(b)); }
inline int32_t Times(int32_t a, int32_t b) { return Wrap(u32(a) * u32(b)); }
inline int32_t Magnitude(int32_t a) { return a < 0 ? Wrap(0u - u32(a)) : a; }

// Division by 2^shift, rounding towards 0.
inline int32_t ShiftQuotient(i64 dividend, int32_t shift) {
    const i64 bias = (dividend >> 63) & ((i64{1} << shift) - 1);
    return Wrap(static_cast<u32>(static_cast<uint64_t>((dividend + bias) >> shift)));
}

// Truncating division that never faults: by 0 it gives 0; a quotient that
// does not fit in 32 bits (-2147483648 / -1, or a wide dividend) keeps its
// low 32 bits, as every other formula result wraps.
inline int32_t Quotient(i64 dividend, i64 divisor) {
    if (divisor == 0) return 0;
    if (divisor == -1) return Wrap(static_cast<u32>(0ull - static_cast<uint64_t>(dividend)));
    if (divisor > 0 && (divisor & (divisor - 1)) == 0) return ShiftQuotient(dividend, __builtin_ctzll(divisor));
    if (dividend == static_cast<int32_t>(dividend) && divisor == static_cast<int32_t>(divisor))
        return static_cast<int32_t>(dividend) / static_cast<int32_t>(divisor);
    return Wrap(static_cast<u32>(static_cast<uint64_t>(dividend / divisor)));
}

// "%": the sign of L; by 0 (and by -1) it is 0.
inline int32_t Remainder(int32_t L, int32_t T) { return T == 0 || T == -1 ? 0 : L % T; }

// Shifts by T mod 32; the right shift fills with zero bits.
inline int32_t ShiftLeft(int32_t v, int32_t by) { return Wrap(u32(v) << (u32(by) & 31)); }
inline int32_t ShiftRight(int32_t v, int32_t by) { return Wrap(u32(v) >> (u32(by) & 31)); }

// "scl": v scaled from il..ih onto ol..oh, ol + ((v - il) * (oh - ol + 1)) /
// (ih - il + 1), the product in 64 bits.
inline int32_t Scale(int32_t v, int32_t il, int32_t ih, int32_t ol, int32_t oh) {
    const i64 product = i64{Minus(v, il)} * Plus(Minus(oh, ol), 1);
    return Plus(ol, Quotient(product, Plus(Minus(ih, il), 1)));
}

// "scl" whose il, ih, ol, oh are the constants c[0..3]; c[4] is the shift
// that divides by ih - il + 1 when that is a power of two, -1 otherwise.
inline int32_t ScaleByConstants(int32_t v, const int32_t* c) {
    if (c[4] < 0) return Scale(v, c[0], c[1], c[2], c[3]);
    return Plus(c[2], ShiftQuotient(i64{Minus(v, c[0])} * Plus(Minus(c[3], c[2]), 1), c[4]));
}

// "mix": (a * (d - n) + b * n) / d with 32-bit products.
inline int32_t Mix(int32_t a, int32_t b, int32_t n, int32_t d) {
    return Quotient(Plus(Times(a, Minus(d, n)), Times(b, n)), d);
}

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

inline int32_t Cosine(const InstanceState* s, int32_t angle) { return s->cosineTable[u32(angle) & kAngleMask]; }

// (m * cos + 8191) >> 14 in 64 bits, rounding halves down.
inline int32_t PolarComponent(const InstanceState* s, int32_t angle, int32_t m) {
    return Wrap(static_cast<u32>((i64{m} * Cosine(s, angle) + kCosineRound) >> kCosineScaleShift));
}

// "sin" and "cos" on a scale of 512; "tan" sin / cos scaled by 1024, 0
// where the cosine is 0.
inline int32_t Sine(const InstanceState* s, int32_t v) {
    return Cosine(s, Magnitude(Minus(v, kRightAngle))) >> kSineCosineShift;
}
inline int32_t Cos(const InstanceState* s, int32_t v) { return Cosine(s, Magnitude(v)) >> kSineCosineShift; }
inline int32_t Tangent(const InstanceState* s, int32_t v) {
    const int32_t c = Cosine(s, Magnitude(v));
    const int32_t sine = Cosine(s, Magnitude(Minus(v, kRightAngle)));
    return c == 0 ? 0 : sine * 1024 / c;
}

inline int32_t Width(const InstanceState* s) { return s->xMax - s->xMin; }
inline int32_t Height(const InstanceState* s) { return s->yMax - s->yMin; }

// "d" at column x and row: the angle around the centre (the centre row
// counts as below it). "m": the distance from a centre one row lower.
inline int32_t AngleAt(const InstanceState* s, int32_t x, int32_t row) {
    const int32_t dx = x - Width(s) / 2;
    const int32_t dy = row - ((Height(s) + 1) / 2 - 1);
    return FoldedAngle(s, dx, dy, dy >= 0);
}
inline int32_t DistanceAt(const InstanceState* s, int32_t x, int32_t row) {
    return VectorLength(s, x - (Width(s) + 1) / 2, row - Height(s) / 2 - 1);
}

// Byte z (0..3) of the source pixel at column X and memory row Y, both
// already inside the bounds; any other z reads nothing and gives 0.
inline int32_t SourceByte(const InstanceState* s, int32_t X, int32_t Y, int32_t z) {
    if (u32(z) > 3) return 0;
    const uint8_t* pixel = s->baseAddress[kSourceSlot] + i64{Y - s->yMin} * s->rowBytes[kSourceSlot] +
                           i64{X - s->xMin} * (s->channelMax - s->channelMin);
    return pixel[z];
}

// The centre column and row of "rad"; rad1 takes the centre one row higher
// on even heights.
inline int32_t RadialColumn(const InstanceState* s, int32_t d, int32_t m) {
    return Clamp(Plus(Width(s) / 2, PolarComponent(s, d, m)), s->xMin, s->xMax - 1);
}
inline int32_t RadialRow(const InstanceState* s, int32_t d, int32_t m, bool upper) {
    const int32_t H = Height(s);
    const int32_t e = H % 2 == 0 ? 1 : 0;
    const int32_t S = PolarComponent(s, Minus(d, kRightAngle), m);
    return Clamp(Plus(Minus(H / 2, S), upper ? -e : e), s->yMin, s->yMax - 1);
}

// "rad" and "rad1": the source byte at angle d and distance m from the centre.
inline int32_t Radial(const InstanceState* s, int32_t d, int32_t m, int32_t z, bool upper) {
    return SourceByte(s, RadialColumn(s, d, m), RadialRow(s, d, m, upper), z);
}

// "src": the source byte at formula coordinates (x, y), y counted upwards;
// outside the frame the nearest edge pixel.
inline int32_t Source(const InstanceState* s, int32_t x, int32_t y, int32_t z) {
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

// "cnv" at column x and row: the weighted sum of the channel over the 3 x 3
// window, w[0..2] for the row nearest the start of memory. Lines are clamped
// to the bounds, so frames narrower or lower than 3 pixels repeat their edge.
inline int32_t Convolve(const InstanceState* s, int32_t x, int32_t row, int32_t channel, const int32_t* w,
                        int32_t divisor) {
    const int32_t column = WindowStart(x, s->xMin, s->xMax);
    const int32_t first = WindowStart(row, s->yMin, s->yMax);
    u32 sum = 0;
    for (int32_t j = 0; j < 3; ++j) {
        const int32_t Y = Clamp(first + j, s->yMin, s->yMax - 1);
        for (int32_t i = 0; i < 3; ++i) {
            const int32_t X = Clamp(column + i, s->xMin, s->xMax - 1);
            sum += u32(w[3 * j + i]) * u32(SourceByte(s, X, Y, channel & 3));
        }
    }
    if (divisor == 0 || divisor == 1) return Wrap(sum);
    return Quotient(Wrap(sum), divisor);
}

// "sqr": floor of the square root by Newton iteration from v / 2; values
// up to 1 come back unchanged.
inline int32_t SquareRoot(int32_t v) {
    if (v <= 1) return v;
    int32_t x = v / 2;
    for (;;) {
        const int32_t q = v / x;
        if (x <= q) return x;
        x = static_cast<int32_t>((i64{x} + q) / 2);
    }
}

// "rnd" on a draw: 0 for an empty range, else lo plus the draw's
// remainder modulo the range's size.
inline int32_t RandomInRange(int32_t draw, int32_t lo, int32_t hi) {
    const int32_t range = Minus(hi, lo);
    if (range < 0) return 0;
    const i64 size = i64{range} + 1;
    i64 r = draw % size;
    if (r < 0) r += size;
    return Plus(lo, static_cast<int32_t>(r));
}

// "val": lo + ((hi - lo + 1) * slider) >> 8, the shift unsigned.
inline int32_t SliderValue(const InstanceState* s, int32_t i, int32_t lo, int32_t hi) {
    if (u32(i) >= kSliderCount) return lo;
    const u32 scaled = (u32(Minus(hi, lo)) + 1u) * u32(s->sliderValues[i]);
    return Plus(lo, Wrap(scaled >> 8));
}

// "map": entry n of map i; for n outside 0..255 the entry replaces the low
// 8 bits of n, as the table is indexed by those bits.
inline int32_t MapEntry(const InstanceState* s, int32_t i, int32_t n) {
    return u32(i) < kMapCount ? Wrap((u32(n) & ~0xFFu) | s->mapTables[i][u32(n) & 0xFF]) : 0;
}

// Colour spaces of a source pixel (bytes blue, green, red); >> is arithmetic.
inline int32_t Luma(const uint8_t* p) { return (76 * p[2] + 150 * p[1] + 29 * p[0]) >> 8; }
inline int32_t ChromaU(const uint8_t* p) { return (56 * p[0] - 19 * p[2] - 37 * p[1]) >> 8; }
inline int32_t ChromaV(const uint8_t* p) { return (78 * p[2] - 65 * p[1] - 13 * p[0]) >> 8; }

}  // namespace semantics
