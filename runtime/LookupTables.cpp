#include "LookupTables.h"

#include "Angles.h"

void ExpandCosineTable(int16_t table[kTableEntries]) {
    // cos(90° + a) = -cos(90° - a), cos(180° + a) = -cos(a), cos(270° + a) = cos(90° - a).
    constexpr int32_t q = kRightAngle;
    table[q] = 0;
    for (int32_t j = 0; j < q; j++) {
        table[q + j] = static_cast<int16_t>(-table[q - j]);
        table[2 * q + j] = static_cast<int16_t>(-table[j]);
        table[3 * q + j] = table[q - j];
    }
}
