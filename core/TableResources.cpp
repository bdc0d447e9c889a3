#include "TableResources.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "Angles.h"
#include "LookupTables.h"
#include "RESOURCE.h"
#include "Resources.h"

// The resources hold little-endian values and are copied as they stand.
static_assert(std::endian::native == std::endian::little);

namespace {

// The tables lie in a packed record, so they are reached by byte address.
uint8_t* FieldBytes(InstanceState* state, size_t offset) { return reinterpret_cast<uint8_t*>(state) + offset; }

void CopyTable(const char* name, uint8_t* table, int32_t tableBytes) {
    // A negative result (not found) has copied nothing, which is all it means here.
    CopyResource(ResourceNumber(FABLIX_RT_RCDATA), ResourceText(name), table, tableBytes);
}

}  // namespace

void LoadLookupTables(InstanceState* state) {
    constexpr int32_t kQuarter = kRightAngle * sizeof(int16_t);
    uint8_t* cosine = FieldBytes(state, offsetof(InstanceState, cosineTable));
    CopyTable(FABLIX_RC_COSINE, cosine, kQuarter);
    int16_t turn[kTableEntries];
    std::memcpy(turn, cosine, sizeof turn);
    ExpandCosineTable(turn);
    std::memcpy(cosine, turn, sizeof turn);

    CopyTable(FABLIX_RC_ARCTAN, FieldBytes(state, offsetof(InstanceState, arctanTable)), sizeof(state->arctanTable));
    CopyTable(FABLIX_RC_VECTOR, FieldBytes(state, offsetof(InstanceState, vectorTable)), sizeof(state->vectorTable));
}
