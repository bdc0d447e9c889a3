#include "NameGuide.h"

#include <cctype>
#include <cstring>

namespace {

// In the catalogue's order; the tests check that it is.
// The formatter keeps this as laid out: one name per line reads as a table.
// clang-format off
constexpr NameGuide kGuide[] = {
    {"x", "x", "the pixel's column, 0 at the left"},
    {"xmin", "xmin", "the frame's first column, 0"},
    {"xmax", "xmax", "the frame's width (one past its last column)"},
    {"X", "X", "the frame's width, as xmax"},
    {"y", "y", "the pixel's row, 0 at the bottom, counting upwards"},
    {"ymin", "ymin", "the frame's first row, 0"},
    {"ymax", "ymax", "the frame's height (one past its last row)"},
    {"Y", "Y", "the frame's height, as ymax"},
    {"p", "p", "the channel being computed: 0 blue, 1 green, 2 red, 3 alpha"},
    {"pmin", "pmin", "the first channel, 0"},
    {"pmax", "pmax", "one past the last channel, 4"},
    {"P", "P", "one past the last channel, as pmax"},
    {"t", "t", "the frame's time: its index in the clip"},
    {"tmin", "tmin", "the first time, 0"},
    {"tmax", "tmax", "the clip's last time (its last frame index)"},
    {"total", "total", "the clip's last time, as tmax"},
    {"T", "T", "the clip's last time, as tmax"},
    {"a0", "a0", "the source pixel's alpha byte"},
    {"a", "a", "the source pixel's alpha byte"},
    {"r0", "r0", "the source pixel's red byte"},
    {"r", "r", "the source pixel's red byte"},
    {"g0", "g0", "the source pixel's green byte"},
    {"g", "g", "the source pixel's green byte"},
    {"b0", "b0", "the source pixel's blue byte"},
    {"b", "b", "the source pixel's blue byte"},
    {"c0", "c0", "the source pixel's byte of the channel being computed"},
    {"c", "c", "the source pixel's byte of the channel being computed"},
    {"a1", "a1", "the source pixel's alpha byte, as a"},
    {"r1", "r1", "the source pixel's red byte, as r"},
    {"g1", "g1", "the source pixel's green byte, as g"},
    {"b1", "b1", "the source pixel's blue byte, as b"},
    {"c1", "c1", "the source pixel's byte of the channel being computed, as c"},
    {"R", "R", "the top of a channel, 255"},
    {"G", "G", "the top of a channel, 255"},
    {"B", "B", "the top of a channel, 255"},
    {"C", "C", "the top of a channel, 255"},
    {"dmin", "dmin", "the smallest angle, -512 (half a turn)"},
    {"mmin", "mmin", "the smallest distance, 0"},
    {"D", "D", "the largest angle, 512 (half a turn)"},
    {"dmax", "dmax", "the largest angle, 512, as D"},
    {"d", "d", "the pixel's angle around the centre in 1/1024 turn, 256 up, -512..512"},
    {"M", "M", "the length of the frame's diagonal"},
    {"mmax", "mmax", "the length of the frame's diagonal, as M"},
    {"m", "m", "the pixel's distance from the centre"},
    {"i", "i", "the source pixel's luminance, 0..254"},
    {"i0", "i0", "the source pixel's luminance, as i"},
    {"u", "u", "the source pixel's first colour difference (blue against luminance)"},
    {"u0", "u0", "the source pixel's first colour difference, as u"},
    {"v", "v", "the source pixel's second colour difference (red against luminance)"},
    {"v0", "v0", "the source pixel's second colour difference, as v"},
    {"i1", "i1", "the source pixel's luminance, as i"},
    {"u1", "u1", "the source pixel's first colour difference, as u"},
    {"v1", "v1", "the source pixel's second colour difference, as v"},
    {"+", "a + b", "sum, wrapping at 32 bits"},
    {"-", "a - b", "difference, wrapping at 32 bits"},
    {"*", "a * b", "product, wrapping at 32 bits"},
    {"/", "a / b", "quotient truncated towards 0; 0 when b is 0"},
    {"%", "a % b", "remainder with the sign of a; 0 when b is 0"},
    {"negate", "-a", "a negated (unary minus)"},
    {"&&", "a && b", "1 when both are not 0, else 0; both sides are computed"},
    {"||", "a || b", "1 when either is not 0, else 0; both sides are computed"},
    {"!", "!a", "1 when a is 0, else 0"},
    {"~", "~a", "a with every bit flipped"},
    {"&", "a & b", "bitwise and"},
    {"|", "a | b", "bitwise or"},
    {"^", "a ^ b", "bitwise exclusive or"},
    {"<<", "a << b", "a shifted left by b bits"},
    {">>", "a >> b", "a shifted right by b bits, filling with zeros"},
    {"==", "a == b", "1 when equal, else 0"},
    {"!=", "a != b", "1 when not equal, else 0"},
    {"<", "a < b", "1 when a is less than b, else 0"},
    {"<=", "a <= b", "1 when a is at most b, else 0"},
    {">", "a > b", "1 when a is greater than b, else 0"},
    {">=", "a >= b", "1 when a is at least b, else 0"},
    {",", "a, b", "b, after a was computed; only at the top of a formula"},
    {"?", "c ? a : b", "a when c is not 0, else b; all three are computed"},
    {"min", "min(a, b)", "the smaller of a and b"},
    {"max", "max(a, b)", "the larger of a and b"},
    {"abs", "abs(a)", "the magnitude of a"},
    {"add", "add(a, b, c)", "a + b, capped at c"},
    {"sub", "sub(a, b, c)", "a - b, floored at c"},
    {"dif", "dif(a, b)", "the magnitude of a - b"},
    {"ctl", "ctl(i)", "the position of slider i (0..7), else 0"},
    {"val", "val(i, lo, hi)", "slider i's position scaled onto lo..hi"},
    {"map", "map(i, n)", "entry n of map i (0..3), the ramp between sliders 2i and 2i+1"},
    {"scl", "scl(v, il, ih, ol, oh)", "v scaled from il..ih onto ol..oh"},
    {"sqr", "sqr(v)", "the integer square root of v"},
    {"sqrt", "sqrt(v)", "the integer square root of v, as sqr"},
    {"get", "get(i)", "the value stored in cell i (0..255) by put"},
    {"put", "put(v, i)", "stores v in cell i (0..255) for later channels and pixels; gives v"},
    {"rnd", "rnd(lo, hi)", "a random number in lo..hi, the same for a frame each time it renders"},
    {"rad", "rad(d, m, z)", "byte z of the source pixel at angle d and distance m from the centre"},
    {"rad0", "rad0(d, m, z)", "as rad"},
    {"src", "src(x, y, z)", "byte z of the source pixel at (x, y); outside, the nearest edge pixel"},
    {"src0", "src0(x, y, z)", "as src"},
    {"rad1", "rad1(d, m, z)", "as rad, the centre one row higher on even heights"},
    {"src1", "src1(x, y, z)", "as src"},
    {"mix", "mix(a, b, n, d)", "n parts of b and d - n parts of a, out of d"},
    {"cnv0", "cnv0(w1, ..., w9, d)", "as cnv"},
    {"cnv", "cnv(w1, ..., w9, d)", "the 3 x 3 weighted sum of the channel around the pixel, divided by d"},
    {"cnv1", "cnv1(w1, ..., w9, d)", "as cnv"},
    {"c2m", "c2m(x, y)", "the length of the vector (x, y)"},
    {"c2d", "c2d(x, y)", "the angle of the vector (x, y) in 1/1024 turn"},
    {"r2y", "r2y(d, m)", "the y component of distance m at angle d"},
    {"r2x", "r2x(d, m)", "the x component of distance m at angle d"},
    {"tan", "tan(v)", "the tangent of angle v (1/1024 turn), scaled by 1024"},
    {"sin", "sin(v)", "the sine of angle v (1/1024 turn), scaled by 512"},
    {"cos", "cos(v)", "the cosine of angle v (1/1024 turn), scaled by 512"},
    {"debug", "debug", "0"},
};
// clang-format on

constexpr const char* kStructuralRows[] = {"prolog", "number", "error", "epilog"};

}  // namespace

const NameGuide* FindNameGuide(const char* name) {
    for (const NameGuide& guide : kGuide)
        if (std::strcmp(guide.name, name) == 0) return &guide;
    return nullptr;
}

const NameGuide* NameGuides(int32_t* count) {
    *count = static_cast<int32_t>(sizeof kGuide / sizeof kGuide[0]);
    return kGuide;
}

bool IsLanguageRow(const Template& row) {
    for (const char* structural : kStructuralRows)
        if (std::strcmp(row.name, structural) == 0) return false;
    return true;
}

NameKind KindOfRow(const Template& row) {
    if (row.arity > 0) return kNameFunction;
    const bool spelled = std::isalpha(static_cast<unsigned char>(row.name[0])) != 0;
    return !spelled || std::strcmp(row.name, "negate") == 0 ? kNameOperator : kNameVariable;
}
