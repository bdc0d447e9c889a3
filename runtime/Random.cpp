#include "Random.h"

#include <cstring>

namespace {
constexpr uint32_t kGoldenStart = 161803398;
constexpr int32_t kLast = kRandomStateSize - 1;  // entries 1..55
constexpr uint16_t kLagStart = 31;               // 24 places behind the first cursor, modulo 55
constexpr int32_t kLong = kLast;                 // the longer lag, the order of the recurrence
constexpr int32_t kShort = 24;                   // the shorter lag

// A polynomial modulo P(x) = x^55 + x^31 - 1, coefficient k of x^k, all
// arithmetic wrapping modulo 2^32.
//
// Why it jumps exactly: each draw is s(n) = s(n-55) - s(n-24), so the
// shift E of the sequence of draws satisfies P(E) s = 0. P is monic, so
// x^m = Q(x) P(x) + R(x) with R of degree below 55 holds over the integers
// modulo 2^32 too, and s(n+m) = R(E) s(n): the draw m places on is the
// combination of the 55 draws the table holds by R's coefficients.
struct Residue {
    uint32_t c[kLong];
};

// Folds x^d, for d from the top down to 55, into x^(d-55) - x^(d-24):
// x^55 = 1 - x^31 modulo P.
void Reduce(uint32_t* product, int32_t top) {
    for (int32_t d = top; d >= kLong; --d) {
        const uint32_t c = product[d];
        product[d - kLong] += c;
        product[d - kShort] -= c;
    }
}

Residue Square(const Residue& r) {
    uint32_t product[2 * kLong - 1] = {};
    for (int32_t i = 0; i < kLong; ++i) {
        if (r.c[i] == 0) continue;
        for (int32_t j = 0; j < kLong; ++j) product[i + j] += r.c[i] * r.c[j];
    }
    Reduce(product, 2 * kLong - 2);
    Residue out;
    std::memcpy(out.c, product, sizeof out.c);
    return out;
}

Residue TimesX(const Residue& r) {
    uint32_t product[kLong + 1];
    product[0] = 0;
    std::memcpy(product + 1, r.c, sizeof r.c);
    Reduce(product, kLong);
    Residue out;
    std::memcpy(out.c, product, sizeof out.c);
    return out;
}

// x^n modulo P, by its bits from the top: square, then times x for a 1.
Residue PowerOfX(uint64_t n) {
    Residue r{};
    r.c[0] = 1;
    for (int32_t bit = 63; bit >= 0; --bit) {
        r = Square(r);
        if ((n >> bit) & 1) r = TimesX(r);
    }
    return r;
}

// The place of a cursor `count` draws on: 1..55 round and round.
uint16_t Advanced(uint16_t cursor, uint64_t count) {
    return static_cast<uint16_t>((cursor + count % kLast + kLast - 1) % kLast + 1);
}
}  // namespace

void StartRandom(InstanceState* state, int32_t t) {
    uint32_t* table = reinterpret_cast<uint32_t*>(state->randomState);
    uint32_t mj = kGoldenStart - (static_cast<uint32_t>(t) & 0x7fff);
    uint32_t mk = 1;
    table[kLast] = mj;
    for (int32_t i = 1; i < kLast; ++i) {
        const int32_t ii = (21 * i) % kLast;
        table[ii] = mk;
        mk = mj - mk;
        mj = table[ii];
    }
    for (int32_t pass = 0; pass < 4; ++pass)
        for (int32_t i = 1; i <= kLast; ++i) table[i] -= table[1 + (i + 30) % kLast];
}

int32_t DrawRandom(InstanceState* state) {
    if (++state->randomIndex > kLast) state->randomIndex = 1;
    if (++state->randomLagIndex > kLast) state->randomLagIndex = 1;
    uint32_t* table = reinterpret_cast<uint32_t*>(state->randomState);
    const uint32_t draw = table[state->randomIndex] - table[state->randomLagIndex];
    table[state->randomIndex] = draw;
    return static_cast<int32_t>(draw);
}

void ResetRandom(InstanceState* state, int32_t t) {
    state->randomIndex = 0;
    state->randomLagIndex = kLagStart;
    StartRandom(state, t);
}

void DrawRandoms(InstanceState* state, int32_t* out, int32_t count) {
    // The cursors live in registers for the run, not in the packed record.
    uint32_t* table = reinterpret_cast<uint32_t*>(state->randomState);
    int32_t index = state->randomIndex, lag = state->randomLagIndex;
    for (int32_t n = 0; n < count; ++n) {
        if (++index > kLast) index = 1;
        if (++lag > kLast) lag = 1;
        table[index] -= table[lag];
        out[n] = static_cast<int32_t>(table[index]);
    }
    state->randomIndex = static_cast<uint16_t>(index);
    state->randomLagIndex = static_cast<uint16_t>(lag);
}

void SkipRandoms(InstanceState* state, uint64_t count) {
    if (count == 0) return;
    uint32_t* table = reinterpret_cast<uint32_t*>(state->randomState);
    // old[k] is the draw 55 - k places back; the cursor holds the last one
    // (0 before the first draw, the same place as 55).
    const int32_t cursor = state->randomIndex % kLast;
    uint32_t old[kLong];
    for (int32_t k = 0; k < kLong; ++k) old[k] = table[(cursor + k) % kLast + 1];
    // The new table holds the draws count-55 .. count-1 on from now, the
    // first at the place after the new cursor.
    const uint16_t index = Advanced(state->randomIndex, count);
    Residue r = PowerOfX(count);
    for (int32_t k = 0; k < kLong; ++k) {
        uint32_t draw = 0;
        for (int32_t j = 0; j < kLong; ++j) draw += r.c[j] * old[j];
        table[(index + k) % kLast + 1] = draw;
        r = TimesX(r);
    }
    state->randomIndex = index;
    state->randomLagIndex = Advanced(state->randomLagIndex, count);
}
