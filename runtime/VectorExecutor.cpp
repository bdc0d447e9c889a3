// The vector executor, compiled once per instruction set by Highway. Every
// operation runs over all lanes of a block; T is the top row of lanes of
// the value stack. Where 32-bit integer vectors cannot give the exact result
// (quotients, 64-bit products), lanes go through doubles, which hold every
// intermediate integer exactly; rare operations run lane by lane on the
// interpreter's own semantics.
#include "VectorExecutor.h"

#include <cstring>

#include "Angles.h"
#include "Folding.h"
#include "Polar.h"

#if FABLIX_VECTOR_EXECUTOR
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "VectorExecutor.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "Interpreter.h"
#include "Random.h"
#include "Semantics.h"

HWY_BEFORE_NAMESPACE();
namespace fablix_vector {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<int32_t>;
using DU = hn::ScalableTag<uint32_t>;
using V = hn::Vec<D>;
using DF = hn::ScalableTag<double>;
using DH = hn::Rebind<int32_t, DF>;  // as many 32-bit lanes as DF has doubles
using DUH = hn::Rebind<uint32_t, DF>;
using VF = hn::Vec<DF>;
using VH = hn::Vec<DH>;

constexpr int32_t kPixelBytes = 4;
static_assert(HWY_MAX_BYTES / sizeof(int32_t) <= kColumnPadding, "lanes past a column table's end");

// ---------------------------------------------------------------- lanes

// Runs f over every vector of `n` lanes; f(i) handles lanes i..i+N-1.
template <class Tag, class F>
HWY_INLINE void ForLanes(Tag tag, int32_t n, F f) {
    const int32_t step = static_cast<int32_t>(hn::Lanes(tag));
    for (int32_t i = 0; i < n; i += step) f(i);
}

// a[i] = f(a[i], rest[i]...) over `n` lanes, vector by vector: the first
// operand's row takes the result.
template <class Tag, class F, class... Rest>
HWY_INLINE void Lanewise(Tag tag, int32_t n, F f, int32_t* a, const Rest*... rest) {
    ForLanes(tag, n, [&](int32_t i) HWY_ATTR {
        hn::StoreU(f(hn::LoadU(tag, a + i), hn::LoadU(tag, rest + i)...), tag, a + i);
    });
}
template <class F>
HWY_INLINE void Map1(int32_t* t, int32_t n, F f) {
    Lanewise(D(), n, f, t);
}
template <class F>
HWY_INLINE void Map2(int32_t* l, const int32_t* t, int32_t n, F f) {
    Lanewise(D(), n, f, l, t);
}
template <class F>
HWY_INLINE void Map3(int32_t* a, const int32_t* b, const int32_t* c, int32_t n, F f) {
    Lanewise(D(), n, f, a, b, c);
}
// The same on half-width lanes, beside doubles.
template <class F>
HWY_INLINE void Half2(int32_t* l, const int32_t* t, int32_t n, F f) {
    Lanewise(DH(), n, f, l, t);
}
template <class F>
HWY_INLINE void Half3(int32_t* a, const int32_t* b, const int32_t* c, int32_t n, F f) {
    Lanewise(DH(), n, f, a, b, c);
}

HWY_INLINE V Bool(hn::Mask<D> m) { return hn::IfThenElseZero(m, hn::Set(D(), 1)); }

HWY_INLINE VF ToF(VH v) { return hn::PromoteTo(DF(), v); }

// An integral double in (-2^32, 2^33) to its low 32 bits, as int32.
HWY_INLINE VH WrapToInt32(VF r) {
    const DF df;
    const VF two32 = hn::Set(df, 4294967296.0);
    const VF two31 = hn::Set(df, 2147483648.0);
    // Multiplying by a power of two's inverse is exact, and cheaper than dividing.
    const VF turns = hn::Floor(hn::Mul(hn::Add(r, two31), hn::Set(df, 1.0 / 4294967296.0)));
    return hn::DemoteTo(DH(), hn::Sub(r, hn::Mul(two32, turns)));
}

// Truncating 32-bit division as the interpreter's Quotient: by 0 it is 0,
// by -1 the wrapped negation. A double quotient of 32-bit integers,
// truncated, is exact.
HWY_INLINE VH Quotient(VH a, VH b) {
    const DH dh;
    const auto byZero = hn::Eq(b, hn::Zero(dh));
    const auto byMinusOne = hn::Eq(b, hn::Set(dh, -1));
    const VH divisor = hn::IfThenElse(hn::Or(byZero, byMinusOne), hn::Set(dh, 1), b);
    VH q = hn::DemoteTo(dh, hn::Div(ToF(a), ToF(divisor)));
    q = hn::IfThenElse(byMinusOne, hn::Sub(hn::Zero(dh), a), q);
    return hn::IfThenZeroElse(byZero, q);
}

// The unsigned shift of v by `by` mod 32 bits.
template <class Tag>
HWY_INLINE hn::Vec<Tag> ShiftRightLogical(Tag tag, hn::Vec<Tag> v, hn::Vec<Tag> by) {
    const hn::RebindToUnsigned<Tag> du;
    const auto count = hn::BitCast(du, hn::And(by, hn::Set(tag, 31)));
    return hn::BitCast(tag, hn::Shr(hn::BitCast(du, v), count));
}

// Byte z of 4-byte pixels; 0 where z is outside 0..3.
template <class Tag>
HWY_INLINE hn::Vec<Tag> PixelByte(Tag tag, hn::Vec<Tag> pixel, hn::Vec<Tag> z) {
    const hn::RebindToUnsigned<Tag> du;
    const auto inside = hn::Lt(hn::BitCast(du, z), hn::Set(du, 4u));
    const auto byte = hn::And(ShiftRightLogical(tag, pixel, hn::ShiftLeft<3>(z)), hn::Set(tag, 0xFF));
    return hn::IfThenElseZero(hn::RebindMask(tag, inside), byte);
}

template <class Tag>
HWY_INLINE hn::Vec<Tag> Clamp(Tag tag, hn::Vec<Tag> v, int32_t lo, int32_t hi) {
    return hn::Min(hn::Max(v, hn::Set(tag, lo)), hn::Set(tag, hi));
}

// ---------------------------------------------------------------- a block

struct Block {
    InstanceState* state;
    VectorWorkspace* ws;
    const Program* program;
    int32_t x;      // the column of lane 0
    int32_t lanes;  // the pixels, rounded up to whole vectors
    int32_t channel;
    int32_t draw;                    // the next "rnd" of the program
    bool angleKnown, distanceKnown;  // "d" and "m" of the block already in the workspace
    const int32_t* results[kFormulaCount];
};

// (m * cos(angle) + 8191) >> 14 with a 64-bit product, wrapped.
HWY_INLINE VH PolarComponent(const Block& b, VH angle, VH m) {
    const DH dh;
    const DF df;
    const VH cosine = hn::GatherIndex(dh, b.ws->cosine, hn::And(angle, hn::Set(dh, kAngleMask)));
    const VF product = hn::Add(hn::Mul(ToF(m), ToF(cosine)), hn::Set(df, kCosineRound));
    return WrapToInt32(hn::Floor(hn::Mul(product, hn::Set(df, 1.0 / (1 << kCosineScaleShift)))));
}

// The angle procedure: (x, y) folded into its quadrant, negated where `below`.
HWY_INLINE VH FoldedAngle(const Block& b, VH x, VH y, hn::Mask<DF> below) {
    const DF df;
    const DH dh;
    const VF fx = ToF(x), fy = ToF(y);
    const auto left = hn::Lt(fx, hn::Zero(df));
    const VF ax = hn::Abs(fx), ay = hn::Abs(fy);
    const auto steep = hn::Gt(ay, ax);
    const VF s = hn::Min(ax, ay), l = hn::Max(ax, ay);
    const VF q = hn::Floor(hn::Div(hn::Mul(s, hn::Set(df, kTableEntries)), hn::Max(l, hn::Set(df, 1.0))));
    VF v = ToF(hn::GatherIndex(dh, b.ws->baseAngle, hn::DemoteTo(dh, q)));
    v = hn::IfThenElse(hn::Xor(left, steep), hn::Sub(hn::Set(df, kRightAngle), v), v);
    v = hn::IfThenElse(left, hn::Add(v, hn::Set(df, kRightAngle)), v);
    v = hn::IfThenElse(below, hn::Neg(v), v);
    return hn::DemoteTo(dh, v);
}

// The length procedure of (a, b), wrapped to 32 bits.
HWY_INLINE VH VectorLength(const Block& blk, VH a, VH b) {
    const DF df;
    const DH dh;
    const VF A = hn::Abs(ToF(a)), B = hn::Abs(ToF(b));
    const VF scale = hn::Set(df, 1.0 / 65536.0);
    const VF s = hn::Min(A, B), l = hn::Max(A, B);
    const VF q = hn::Floor(hn::Div(hn::Mul(s, hn::Set(df, kTableEntries)), hn::Max(l, hn::Set(df, 1.0))));
    const VH index = hn::Min(hn::DemoteTo(dh, q), hn::Set(dh, kTableEntries - 1));
    const VF correction = ToF(hn::GatherIndex(dh, blk.ws->vector, index));
    const VF unequal = hn::Add(l, hn::Floor(hn::Mul(hn::Mul(correction, l), scale)));
    const VF equal = hn::Add(B, hn::Floor(hn::Mul(hn::Mul(B, hn::Set(df, 27146.0)), scale)));
    return WrapToInt32(hn::IfThenElse(hn::Eq(A, B), equal, unequal));
}

// Lanes as one-operation programs on the interpreter: any operation,
// exactly, for the ones that have no vector form.
void ByInterpreter(Block& b, const Instruction& instruction, int32_t* first, int32_t inputs) {
    InstanceState* s = b.state;
    Instruction code[kMaxInputs + 2];
    code[inputs] = instruction;
    code[inputs + 1] = {Op::Return, 0};
    s->channel = b.channel;
    for (int32_t lane = 0; lane < b.lanes; ++lane) {
        for (int32_t k = 0; k < inputs; ++k) code[k] = {Op::Number, first[k * kVectorBlock + lane]};
        s->x = b.x + lane;
        s->pixelAddress[kSourceSlot] = reinterpret_cast<uint8_t*>(b.ws->pixels + lane);
        first[lane] = RunCode(code, b.program->constants, b.program->columnValues, s);
    }
}

// A value that is the same in every lane: computed once.
void Uniform(Block& b, const Instruction& instruction, int32_t* out) {
    const Instruction code[2] = {instruction, {Op::Return, 0}};
    b.state->channel = b.channel;
    const V v = hn::Set(D(), RunCode(code, b.program->constants, b.program->columnValues, b.state));
    ForLanes(D(), b.lanes, [&](int32_t i) HWY_ATTR { hn::Store(v, D(), out + i); });
}

// Lane by lane through a function of the shared semantics.
template <class F>
HWY_INLINE void Lanes1(int32_t* t, int32_t n, F f) {
    for (int32_t i = 0; i < n; ++i) t[i] = f(t[i]);
}
template <class F>
HWY_INLINE void Lanes3(int32_t* a, const int32_t* b, const int32_t* c, int32_t n, F f) {
    for (int32_t i = 0; i < n; ++i) a[i] = f(a[i], b[i], c[i]);
}

// "cnv": rows are the same for every lane of a block, columns differ only
// at the frame's edges.
void Convolve(Block& b, int32_t* w) {
    const D d;
    const InstanceState* s = b.state;
    const int32_t first = semantics::WindowStart(s->row, s->yMin, s->yMax);
    const int32_t* rows[3];
    for (int32_t j = 0; j < 3; ++j) {
        const int32_t Y = semantics::Clamp(first + j, s->yMin, s->yMax - 1);
        rows[j] = reinterpret_cast<const int32_t*>(s->baseAddress[kSourceSlot] +
                                                   int64_t{Y - s->yMin} * s->rowBytes[kSourceSlot]);
    }
    const V shift = hn::Set(d, 8 * (b.channel & 3));
    int32_t* divisor = w + 9 * kVectorBlock;
    ForLanes(d, b.lanes, [&](int32_t i) HWY_ATTR {
        const V x = hn::Iota(d, b.x + i);
        V start = hn::Sub(x, hn::Set(d, 1));
        start = hn::IfThenElse(hn::Eq(x, hn::Set(d, s->xMax - 1)), hn::Sub(x, hn::Set(d, 2)), start);
        start = hn::IfThenElse(hn::Eq(x, hn::Set(d, s->xMin)), x, start);
        V sum = hn::Zero(d);
        for (int32_t c = 0; c < 3; ++c) {
            const V index = hn::Sub(Clamp(d, hn::Add(start, hn::Set(d, c)), s->xMin, s->xMax - 1), hn::Set(d, s->xMin));
            for (int32_t j = 0; j < 3; ++j) {
                const V byte =
                    hn::And(ShiftRightLogical(d, hn::GatherIndex(d, rows[j], index), shift), hn::Set(d, 0xFF));
                sum = hn::Add(sum, hn::Mul(hn::Load(d, w + (3 * j + c) * kVectorBlock + i), byte));
            }
        }
        hn::Store(sum, d, w + i);
    });
    Half2(w, divisor, b.lanes, [&](VH sum, VH by) HWY_ATTR {
        const DH dh;
        const auto plain = hn::Or(hn::Eq(by, hn::Zero(dh)), hn::Eq(by, hn::Set(dh, 1)));
        return hn::IfThenElse(plain, sum, Quotient(sum, by));
    });
}

// Byte offsets of the source pixels at columns X and memory rows Y.
template <class Tag>
HWY_INLINE hn::Vec<Tag> SourceOffset(Tag tag, const InstanceState* s, hn::Vec<Tag> X, hn::Vec<Tag> Y) {
    return hn::Add(hn::Mul(hn::Sub(Y, hn::Set(tag, s->yMin)), hn::Set(tag, s->rowBytes[kSourceSlot])),
                   hn::ShiftLeft<2>(hn::Sub(X, hn::Set(tag, s->xMin))));
}

template <class Tag>
HWY_INLINE hn::Vec<Tag> GatherSource(Tag tag, const InstanceState* s, hn::Vec<Tag> offset) {
    return hn::GatherOffset(tag, reinterpret_cast<const int32_t*>(s->baseAddress[kSourceSlot]), offset);
}

// "rad" and "rad1".
void Radial(Block& b, int32_t* d, const int32_t* m, const int32_t* z, bool upper) {
    const InstanceState* s = b.state;
    const int32_t W = semantics::Width(s), H = semantics::Height(s);
    const int32_t e = H % 2 == 0 ? (upper ? -1 : 1) : 0;
    Half3(d, m, z, b.lanes, [&](VH angle, VH distance, VH byte) HWY_ATTR {
        const DH dh;
        const VH X = Clamp(dh, hn::Add(hn::Set(dh, W / 2), PolarComponent(b, angle, distance)), s->xMin, s->xMax - 1);
        const VH S = PolarComponent(b, hn::Sub(angle, hn::Set(dh, kRightAngle)), distance);
        const VH Y = Clamp(dh, hn::Add(hn::Sub(hn::Set(dh, H / 2), S), hn::Set(dh, e)), s->yMin, s->yMax - 1);
        return PixelByte(dh, GatherSource(dh, s, SourceOffset(dh, s, X, Y)), byte);
    });
}

// "src": y counts upwards.
void SourceAt(Block& b, int32_t* x, const int32_t* y, const int32_t* z) {
    const InstanceState* s = b.state;
    Map3(x, y, z, b.lanes, [&](V column, V up, V byte) HWY_ATTR {
        const D d;
        const V X = Clamp(d, column, s->xMin, s->xMax - 1);
        const V Y = hn::Sub(hn::Set(d, s->yMax - 1 + s->yMin), Clamp(d, up, s->yMin, s->yMax - 1));
        return PixelByte(d, GatherSource(d, s, SourceOffset(d, s, X, Y)), hn::Sub(byte, hn::Set(d, s->channelMin)));
    });
}

// "rnd": the draw for this call in each lane's pixel, reduced to lo..hi.
void RandomInRange(Block& b, int32_t* lo, const int32_t* hi) {
    const int32_t* draws = b.ws->draws[b.draw++];
    Half3(lo, hi, draws, b.lanes, [&](VH low, VH high, VH draw) HWY_ATTR {
        const DF df;
        const DH dh;
        const VH range = hn::Sub(high, low);
        // An empty range gives 0 below; its size is kept at 1 meanwhile.
        const VF size = hn::Max(hn::Add(ToF(range), hn::Set(df, 1.0)), hn::Set(df, 1.0));
        const VF value = ToF(draw);
        VF r = hn::Sub(value, hn::Mul(hn::Floor(hn::Div(value, size)), size));
        r = hn::IfThenElse(hn::Lt(r, hn::Zero(df)), hn::Add(r, size), r);
        r = hn::IfThenElse(hn::Ge(r, size), hn::Sub(r, size), r);
        return hn::IfThenZeroElse(hn::Lt(range, hn::Zero(dh)), hn::Add(low, hn::DemoteTo(dh, r)));
    });
}

// The source pixels' bytes: k = 0 blue .. 3 alpha.
HWY_INLINE V SourceBytes(const Block& b, int32_t i, int32_t k) {
    const D d;
    const DU du;
    return hn::BitCast(d, hn::And(hn::ShiftRightSame(hn::Load(du, b.ws->pixels + i), 8 * k), hn::Set(du, 0xFFu)));
}

// "i", "u", "v": weighted sums of red, green and blue, shifted arithmetically.
void Colour(const Block& b, int32_t* out, int32_t wr, int32_t wg, int32_t wb) {
    const D d;
    ForLanes(d, b.lanes, [&](int32_t i) HWY_ATTR {
        const V sum = hn::Add(hn::Add(hn::Mul(hn::Set(d, wr), SourceBytes(b, i, 2)),
                                      hn::Mul(hn::Set(d, wg), SourceBytes(b, i, 1))),
                              hn::Mul(hn::Set(d, wb), SourceBytes(b, i, 0)));
        hn::Store(hn::ShiftRight<8>(sum), d, out + i);
    });
}

// Pushes a value computed per lane from the lanes' columns.
template <class F>
HWY_INLINE void ByColumn(const Block& b, int32_t* out, F f) {
    const DH dh;
    ForLanes(dh, b.lanes, [&](int32_t i) HWY_ATTR { hn::StoreU(f(hn::Iota(dh, b.x + i)), dh, out + i); });
}

// Runs the program over the block; b.results[p] points at channel p's values.
void RunBlock(Block& b) {
    const D d;
    VectorWorkspace* ws = b.ws;
    InstanceState* s = b.state;
    const int32_t n = b.lanes;
    // The row of T. Row 0 is T before the first value: 0, as in the
    // interpreter, and what a program that returns at once gives.
    int32_t top = 0;
    std::memset(ws->values[0], 0, sizeof(int32_t) * static_cast<size_t>(n));
    for (const Instruction* ip = b.program->code;; ++ip) {
        const Instruction& in = *ip;
        const int32_t inputs = kOpInputs[static_cast<int32_t>(in.op)];
        // The operands, the first one where the result goes.
        int32_t* r = ws->values[inputs == 0 ? top + 1 : top - inputs + 1];
        const int32_t* t = ws->values[top];
        const int32_t* l = top >= 1 ? ws->values[top - 1] : nullptr;
        switch (in.op) {
        case Op::X: ForLanes(d, n, [&](int32_t i) HWY_ATTR { hn::Store(hn::Iota(d, b.x + i), d, r + i); }); break;
        case Op::Y:
        case Op::P:
        case Op::Number: {
            const int32_t value = in.op == Op::Y ? s->yMax - s->row - 1 : in.op == Op::P ? b.channel : in.value;
            ForLanes(d, n, [&](int32_t i) HWY_ATTR { hn::Store(hn::Set(d, value), d, r + i); });
            break;
        }
        case Op::ColumnValue: {
            const int32_t* column = b.program->columnValues + in.value + (b.x - s->xMin);
            ForLanes(d, n, [&](int32_t i) HWY_ATTR { hn::Store(hn::LoadU(d, column + i), d, r + i); });
            break;
        }
        case Op::SourceB:
        case Op::SourceG:
        case Op::SourceR:
        case Op::SourceA:
        case Op::SourceC: {
            const int32_t k = in.op == Op::SourceB   ? 0
                              : in.op == Op::SourceG ? 1
                              : in.op == Op::SourceR ? 2
                              : in.op == Op::SourceA ? 3
                                                     : (b.channel - s->channelMin) & 3;
            ForLanes(d, n, [&](int32_t i) HWY_ATTR { hn::Store(SourceBytes(b, i, k), d, r + i); });
            break;
        }
        case Op::I: Colour(b, r, 76, 150, 29); break;
        case Op::U: Colour(b, r, -19, -37, 56); break;
        case Op::V: Colour(b, r, 78, -65, -13); break;
        case Op::D: {
            if (b.angleKnown) {
                std::memcpy(r, ws->angle, sizeof(int32_t) * static_cast<size_t>(n));
                break;
            }
            const int32_t dy = s->row - ((semantics::Height(s) + 1) / 2 - 1);
            const int32_t half = semantics::Width(s) / 2;
            const auto below = hn::Ge(hn::Set(DF(), dy), hn::Zero(DF()));
            ByColumn(b, r, [&](VH x) HWY_ATTR {
                return FoldedAngle(b, hn::Sub(x, hn::Set(DH(), half)), hn::Set(DH(), dy), below);
            });
            // The channels of a pixel program often ask again.
            std::memcpy(ws->angle, r, sizeof(int32_t) * static_cast<size_t>(n));
            b.angleKnown = true;
            break;
        }
        case Op::M: {
            if (b.distanceKnown) {
                std::memcpy(r, ws->distance, sizeof(int32_t) * static_cast<size_t>(n));
                break;
            }
            const int32_t dy = s->row - semantics::Height(s) / 2 - 1;
            const int32_t half = (semantics::Width(s) + 1) / 2;
            ByColumn(b, r, [&](VH x) HWY_ATTR {
                return VectorLength(b, hn::Sub(x, hn::Set(DH(), half)), hn::Set(DH(), dy));
            });
            std::memcpy(ws->distance, r, sizeof(int32_t) * static_cast<size_t>(n));
            b.distanceKnown = true;
            break;
        }

        case Op::Add: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Add(a, c); }); break;
        case Op::Subtract: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Sub(a, c); }); break;
        case Op::Multiply: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Mul(a, c); }); break;
        case Op::Divide: Half2(r, t, n, [](VH a, VH c) HWY_ATTR { return Quotient(a, c); }); break;
        case Op::Remainder:
            Half2(r, t, n, [](VH a, VH c) HWY_ATTR {
                const DH dh;
                const auto none = hn::Or(hn::Eq(c, hn::Zero(dh)), hn::Eq(c, hn::Set(dh, -1)));
                return hn::IfThenZeroElse(none, hn::Sub(a, hn::Mul(Quotient(a, c), c)));
            });
            break;
        case Op::BitAnd: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::And(a, c); }); break;
        case Op::BitOr: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Or(a, c); }); break;
        case Op::BitXor: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Xor(a, c); }); break;
        case Op::ShiftLeft:
            Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Shl(a, hn::And(c, hn::Set(D(), 31))); });
            break;
        case Op::ShiftRight: Map2(r, t, n, [](V a, V c) HWY_ATTR { return ShiftRightLogical(D(), a, c); }); break;
        case Op::Equal: Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Eq(a, c)); }); break;
        case Op::NotEqual: Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Ne(a, c)); }); break;
        case Op::Less: Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Lt(a, c)); }); break;
        case Op::LessEqual: Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Not(hn::Gt(a, c))); }); break;
        case Op::Greater: Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Gt(a, c)); }); break;
        case Op::GreaterEqual: Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Not(hn::Lt(a, c))); }); break;
        case Op::LogicalAnd:
            Map2(r, t, n,
                 [](V a, V c) HWY_ATTR { return Bool(hn::And(hn::Ne(a, hn::Zero(D())), hn::Ne(c, hn::Zero(D())))); });
            break;
        case Op::LogicalOr:
            Map2(r, t, n, [](V a, V c) HWY_ATTR { return Bool(hn::Ne(hn::Or(a, c), hn::Zero(D()))); });
            break;
        case Op::Min: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Min(a, c); }); break;
        case Op::Max: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Max(a, c); }); break;
        case Op::Dif: Map2(r, t, n, [](V a, V c) HWY_ATTR { return hn::Abs(hn::Sub(a, c)); }); break;
        case Op::Comma: break;  // the left operand's row already holds the result
        case Op::Choose:        // condition, value if true, value if false
            Map3(r, l, t, n, [](V condition, V yes, V no) HWY_ATTR {
                return hn::IfThenElse(hn::Ne(condition, hn::Zero(D())), yes, no);
            });
            break;
        case Op::AddCapped:
            Map3(r, l, t, n, [](V a, V c, V cap) HWY_ATTR { return hn::Min(hn::Add(a, c), cap); });
            break;
        case Op::SubFloored:
            Map3(r, l, t, n, [](V a, V c, V floor) HWY_ATTR { return hn::Max(hn::Sub(a, c), floor); });
            break;
        case Op::Map:
            Map2(r, t, n, [&](V i, V v) HWY_ATTR {
                const V entry =
                    hn::GatherIndex(d, ws->maps,
                                    hn::Add(hn::ShiftLeft<8>(hn::And(i, hn::Set(d, 3))), hn::And(v, hn::Set(d, 0xFF))));
                const auto inside = hn::Lt(hn::BitCast(DU(), i), hn::Set(DU(), kMapCount));
                return hn::IfThenElseZero(hn::RebindMask(d, inside), hn::Or(hn::And(v, hn::Set(d, ~0xFF)), entry));
            });
            break;
        case Op::Mix: {  // (a * (d - n) + b * n) / d with 32-bit products
            const int32_t* second = ws->values[top - 2];
            ForLanes(d, n, [&](int32_t i) HWY_ATTR {
                const V whole = hn::Load(d, t + i), part = hn::Load(d, l + i);
                const V sum =
                    hn::Add(hn::Mul(hn::Load(d, r + i), hn::Sub(whole, part)), hn::Mul(hn::Load(d, second + i), part));
                hn::Store(sum, d, r + i);
            });
            Half2(r, t, n, [](VH sum, VH whole) HWY_ATTR { return Quotient(sum, whole); });
            break;
        }

        case Op::AddLiteral: Map1(r, n, [&](V a) HWY_ATTR { return hn::Add(a, hn::Set(d, in.value)); }); break;
        case Op::SubtractLiteral: Map1(r, n, [&](V a) HWY_ATTR { return hn::Sub(a, hn::Set(d, in.value)); }); break;
        case Op::MultiplyLiteral: Map1(r, n, [&](V a) HWY_ATTR { return hn::Mul(a, hn::Set(d, in.value)); }); break;
        case Op::BitAndLiteral: Map1(r, n, [&](V a) HWY_ATTR { return hn::And(a, hn::Set(d, in.value)); }); break;
        case Op::ShiftLeftLiteral: {
            const int32_t by = in.value & 31;
            Map1(r, n, [&](V a) HWY_ATTR { return hn::ShiftLeftSame(a, by); });
            break;
        }
        case Op::ShiftRightLiteral: {
            const int32_t by = in.value & 31;
            Map1(r, n, [&](V a) HWY_ATTR { return hn::BitCast(d, hn::ShiftRightSame(hn::BitCast(DU(), a), by)); });
            break;
        }
        case Op::DivideLiteral: {
            const int32_t by = in.value;
            if (by > 0 && (by & (by - 1)) == 0) {
                // Rounds towards 0: negative dividends are biased first.
                const int32_t shift = __builtin_ctz(static_cast<uint32_t>(by));
                Map1(r, n, [&](V a) HWY_ATTR {
                    const V bias = hn::And(hn::ShiftRight<31>(a), hn::Set(d, by - 1));
                    return hn::ShiftRightSame(hn::Add(a, bias), shift);
                });
            } else {
                const int32_t* divisor = ws->values[top + 1];
                ForLanes(d, n, [&](int32_t i) HWY_ATTR { hn::Store(hn::Set(d, by), d, ws->values[top + 1] + i); });
                Half2(r, divisor, n, [](VH a, VH c) HWY_ATTR { return Quotient(a, c); });
            }
            break;
        }
        case Op::Negate: Map1(r, n, [&](V a) HWY_ATTR { return hn::Sub(hn::Zero(d), a); }); break;
        case Op::Not: Map1(r, n, [&](V a) HWY_ATTR { return Bool(hn::Eq(a, hn::Zero(d))); }); break;
        case Op::Complement: Map1(r, n, [&](V a) HWY_ATTR { return hn::Not(a); }); break;
        case Op::Abs: Map1(r, n, [&](V a) HWY_ATTR { return hn::Abs(a); }); break;
        case Op::Ctl:
            Map1(r, n, [&](V i) HWY_ATTR {
                const auto inside = hn::Lt(hn::BitCast(DU(), i), hn::Set(DU(), kSliderCount));
                return hn::IfThenElseZero(hn::RebindMask(d, inside),
                                          hn::GatherIndex(d, ws->sliders, hn::And(i, hn::Set(d, 7))));
            });
            break;
        case Op::Sin:
        case Op::Cos: {
            const int32_t shift = in.op == Op::Sin ? kRightAngle : 0;
            Map1(r, n, [&](V v) HWY_ATTR {
                const V index = hn::And(hn::Abs(hn::Sub(v, hn::Set(d, shift))), hn::Set(d, kAngleMask));
                return hn::ShiftRight<kSineCosineShift>(hn::GatherIndex(d, ws->cosine, index));
            });
            break;
        }
        case Op::R2x:
        case Op::R2y: {
            const int32_t shift = in.op == Op::R2y ? kRightAngle : 0;
            Half2(r, t, n,
                  [&](VH angle, VH m) HWY_ATTR { return PolarComponent(b, hn::Sub(angle, hn::Set(DH(), shift)), m); });
            break;
        }
        case Op::C2m: Half2(r, t, n, [&](VH a, VH c) HWY_ATTR { return VectorLength(b, a, c); }); break;
        case Op::C2d:
            Half2(r, t, n, [&](VH x, VH y) HWY_ATTR { return FoldedAngle(b, x, y, hn::Lt(ToF(y), hn::Zero(DF()))); });
            break;
        case Op::Rnd: RandomInRange(b, r, t); break;
        case Op::Rad:
        case Op::Rad1: Radial(b, r, l, t, in.op == Op::Rad1); break;
        case Op::Src: SourceAt(b, r, l, t); break;
        case Op::Cnv: Convolve(b, r); break;
        case Op::Sqrt: Lanes1(r, n, semantics::SquareRoot); break;
        case Op::Tan: Lanes1(r, n, [s](int32_t v) { return semantics::Tangent(s, v); }); break;
        case Op::SclLiterals: {
            const int32_t* constants = b.program->constants + in.value;
            Lanes1(r, n, [constants](int32_t v) { return semantics::ScaleByConstants(v, constants); });
            break;
        }
        case Op::Val:
            Lanes3(r, l, t, n, [s](int32_t i, int32_t lo, int32_t hi) { return semantics::SliderValue(s, i, lo, hi); });
            break;

        case Op::Return:
        case Op::NextChannel:
            // The channel's value stays in its row; the next channel's
            // values go above it.
            b.results[b.channel & 3] = t;
            if (in.op == Op::Return) return;
            ++b.channel;
            continue;
        default:
            if (inputs == 0 && IsFrameConstant(in.op))
                Uniform(b, in, r);
            else
                ByInterpreter(b, in, r, inputs);
            break;
        }
        top += StackEffect(in.op);
    }
}

void RenderRun(const VectorRun& run, InstanceState* state, VectorWorkspace* ws) {
    const D d;
    const int32_t step = static_cast<int32_t>(hn::Lanes(d));
    for (int32_t done = 0; done < run.count; done += kVectorBlock) {
        const int32_t count = run.count - done < kVectorBlock ? run.count - done : kVectorBlock;
        const int32_t lanes = (count + step - 1) / step * step;
        std::memcpy(ws->pixels, run.source + int64_t{done} * kPixelBytes,
                    sizeof(uint32_t) * static_cast<size_t>(count));
        std::memset(ws->pixels + count, 0, sizeof(uint32_t) * static_cast<size_t>(lanes - count));
        // The draws of every pixel of the block, in render order.
        if (run.draws > 0) {
            int32_t* sequence = ws->sequence;
            DrawRandoms(state, sequence, count * run.draws);
            for (int32_t lane = 0; lane < count; ++lane)
                for (int32_t k = 0; k < run.draws; ++k) ws->draws[k][lane] = *sequence++;
        }
        Block b{state, ws, run.program, run.x + done, lanes, state->channelMin, 0, false, false, {}};
        RunBlock(b);

        const int32_t store = run.storeCount - done < count ? run.storeCount - done : count;
        if (store <= 0) continue;
        // Whole vectors go straight to the destination, the rest through
        // the workspace.
        uint8_t* out = run.destination + int64_t{done} * kPixelBytes;
        ForLanes(d, lanes, [&](int32_t i) HWY_ATTR {
            V pixel;
            if (run.single) {
                pixel = hn::Mul(Clamp(d, hn::Load(d, b.results[0] + i), 0, 255), hn::Set(d, 0x01010101));
            } else {
                pixel = hn::Zero(d);
                for (int32_t p = kFormulaCount - 1; p >= 0; --p)
                    pixel = hn::Or(hn::ShiftLeft<8>(pixel), Clamp(d, hn::Load(d, b.results[p] + i), 0, 255));
            }
            if (i + step <= store) {
                hn::StoreU(pixel, d, reinterpret_cast<int32_t*>(out + int64_t{i} * kPixelBytes));
            } else if (i < store) {
                hn::Store(hn::BitCast(DU(), pixel), DU(), ws->packed);
                std::memcpy(out + int64_t{i} * kPixelBytes, ws->packed,
                            sizeof(uint32_t) * static_cast<size_t>(store - i));
            }
        });
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace fablix_vector
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fablix_vector {
HWY_EXPORT(RenderRun);
}  // namespace fablix_vector

bool RunsVectorized(const Program* program) {
    return !ProgramUses(program, Op::Put) && !ProgramUses(program, Op::Get) && program->maxDepth <= kMaxVectorDepth &&
           DrawsPerPixel(program) <= kMaxDrawsPerPixel;
}

void RenderVectorRun(const VectorRun& run, InstanceState* state, VectorWorkspace* workspace) {
    HWY_DYNAMIC_DISPATCH(fablix_vector::RenderRun)(run, state, workspace);
}

int32_t VectorTargets(int64_t targets[], int32_t capacity) {
    int32_t count = 0;
    for (int64_t bits = hwy::SupportedTargets() & HWY_TARGETS; bits != 0 && count < capacity; bits &= bits - 1)
        targets[count++] = bits & -bits;
    return count;
}

const char* VectorTargetName(int64_t target) { return hwy::TargetName(target); }

void UseVectorTarget(int64_t target) { hwy::SetSupportedTargetsForTest(target); }
#endif  // HWY_ONCE

#else   // built without Highway: the interpreter runs every frame

bool RunsVectorized(const Program*) { return false; }
void RenderVectorRun(const VectorRun&, InstanceState*, VectorWorkspace*) {}
int32_t VectorTargets(int64_t[], int32_t) { return 0; }
const char* VectorTargetName(int64_t) { return "none"; }
void UseVectorTarget(int64_t) {}
#endif  // FABLIX_VECTOR_EXECUTOR

#if !FABLIX_VECTOR_EXECUTOR || HWY_ONCE
int32_t DrawsPerPixel(const Program* program) {
    int32_t draws = 0;
    for (int32_t i = 0; i < program->count; ++i) draws += program->code[i].op == Op::Rnd;
    return draws;
}

void PrepareVectorTables(const InstanceState* state, VectorWorkspace* ws) {
    for (int32_t k = 0; k < kTableEntries; ++k) {
        ws->cosine[k] = state->cosineTable[k];
        ws->sineCosine[k] = state->cosineTable[k] >> kSineCosineShift;
        ws->vector[k] = state->vectorTable[k];
    }
    // BaseAngle by q = s * 1024 / l, the arctangent already scaled.
    ws->baseAngle[0] = 0;
    for (int32_t q = 1; q <= kTableEntries; ++q) ws->baseAngle[q] = BaseAngle(state, uint32_t(q), kTableEntries);
    for (int32_t i = 0; i < kMapCount; ++i)
        for (int32_t k = 0; k < kMapEntries; ++k) ws->maps[i * kMapEntries + k] = state->mapTables[i][k];
    for (int32_t k = 0; k < kSliderCount; ++k) ws->sliders[k] = state->sliderValues[k];
}

#endif
