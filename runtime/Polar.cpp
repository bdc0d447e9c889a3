#include "Polar.h"

#include "Angles.h"

namespace {
constexpr uint64_t kHalfTurnTimesScale = 205888;  // 65536 pi
constexpr uint64_t kDiagonal = 27146;             // (sqrt(2) - 1) * 65536

uint32_t Magnitude(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }
}  // namespace

int32_t BaseAngle(const InstanceState* state, uint32_t s, uint32_t l) {
    if (s == 0) return 0;
    const uint64_t q = (static_cast<uint64_t>(s) * kTableEntries) / l;
    if (q == 0) return 0;
    return static_cast<int32_t>(state->arctanTable[q - 1] * uint64_t{kHalfTurn} / kHalfTurnTimesScale);
}

int32_t FoldedAngle(const InstanceState* state, int32_t x, int32_t y, bool below) {
    const bool left = x < 0;
    const uint32_t ax = Magnitude(x);
    const uint32_t ay = Magnitude(y);
    const bool steep = ay > ax;
    int32_t v = BaseAngle(state, steep ? ax : ay, steep ? ay : ax);
    if (left != steep) v = kRightAngle - v;
    if (left) v += kRightAngle;
    return below ? -v : v;
}

int32_t VectorAngle(const InstanceState* state, int32_t x, int32_t y) { return FoldedAngle(state, x, y, y < 0); }

int32_t VectorLength(const InstanceState* state, int32_t a, int32_t b) {
    const uint64_t ua = Magnitude(a);
    const uint64_t ub = Magnitude(b);
    if (ua == ub) return static_cast<int32_t>(ub + ((kDiagonal * ub) >> 16));
    const uint64_t s = ua < ub ? ua : ub;
    const uint64_t l = ua < ub ? ub : ua;
    const uint64_t q = (s * kTableEntries) / l;
    return static_cast<int32_t>(l + ((state->vectorTable[q] * l) >> 16));
}
