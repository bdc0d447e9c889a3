// A resource table with gaps, linked in place of the plug-in's own: COSINE
// shorter than its table, ARCTAN missing, VECTOR longer than its table.
#include "EmbeddedResources.h"
#include "GapResources.h"

namespace {

struct Bytes {
    uint8_t cosine[kGapCosineBytes];
    uint8_t vector[kGapVectorBytes];
};

constexpr Bytes Make() {
    Bytes b{};
    for (int32_t k = 0; k < kGapCosineBytes / 2; k++) {
        b.cosine[2 * k] = static_cast<uint8_t>(GapCosineEntry(k));
        b.cosine[2 * k + 1] = static_cast<uint8_t>(GapCosineEntry(k) >> 8);
    }
    for (int32_t i = 0; i < kGapVectorBytes; i++) b.vector[i] = GapVectorByte(i);
    return b;
}

constexpr Bytes kBytes = Make();

}  // namespace

const EmbeddedResource kEmbeddedResources[] = {
    {nullptr, 10, "COSINE", 0, kBytes.cosine, kGapCosineBytes},
    {nullptr, 10, "VECTOR", 0, kBytes.vector, kGapVectorBytes},
};
const int32_t kEmbeddedResourceCount = 2;

const EmbeddedString kEmbeddedStrings[] = {{7, "seven"}};
const int32_t kEmbeddedStringCount = 1;
