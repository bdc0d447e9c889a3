#include "Random.h"

namespace {
constexpr uint32_t kGoldenStart = 161803398;
constexpr int32_t kLast = kRandomStateSize - 1;  // entries 1..55
constexpr uint16_t kLagStart = 31;               // 24 places behind the first cursor, modulo 55
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
